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
