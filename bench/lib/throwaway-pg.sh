# Starts a throwaway PostgreSQL server for a benchmark, puts its KESTO_TEST_PG_*
# variables into the environment and stops it when the shell exits.
# Usage: source this file, then: start_throwaway_pg TOP
start_throwaway_pg() {
    local top="$1"
    local dir
    dir="$(mktemp -d /tmp/kesto-bench-pg.XXXXXX)"
    # shellcheck disable=SC2064 # the folder is fixed now, on purpose
    trap "\"$top/scripts/test-pg-server\" stop \"$dir\"" EXIT
    eval "$("$top/scripts/test-pg-server" start "$dir")"
}
