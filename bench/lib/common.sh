# What the benchmark scripts share. Usage: source this file.

# bench_program BUILD_DIR NAME: prints the path of a built benchmark program,
# or says how to build it and fails.
bench_program() {
    local program="$1/bin/$2"
    if [ ! -x "$program" ]; then
        echo "build the target $2 in $1 first" >&2
        return 1
    fi
    printf '%s\n' "$program"
}

# start_throwaway_pg TOP: starts a throwaway PostgreSQL server, puts its
# KESTO_TEST_PG_* variables into the environment, keeps its folder in
# PG_BENCH_DIR and stops it when the shell exits.
start_throwaway_pg() {
    local top="$1"
    PG_BENCH_DIR="$(mktemp -d /tmp/kesto-bench-pg.XXXXXX)"
    # shellcheck disable=SC2064 # the folder is fixed now, on purpose
    trap "\"$top/scripts/test-pg-server\" stop \"$PG_BENCH_DIR\"" EXIT
    eval "$("$top/scripts/test-pg-server" start "$PG_BENCH_DIR")"
}

# restart_pg_with_fsync DIR: the throwaway server of start_throwaway_pg starts
# with fsync=off on its command line, as the tests want; starts it again with
# the same address and fsync left at its default (on).
restart_pg_with_fsync() {
    local dir="$1" bindir port
    bindir="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)"
    port="${KESTO_TEST_PG_SERVER#*,}"
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
            -m fast -o "-p $port -c listen_addresses=127.0.0.1 -k $dir" restart >/dev/null
    else
        "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
            -m fast -o "-p $port -c listen_addresses=127.0.0.1 -k $dir" restart >/dev/null
    fi
}
