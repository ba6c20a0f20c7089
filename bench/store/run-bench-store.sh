#!/usr/bin/env bash
# Runs bench_store_booking on SQLite (a file in a folder on disk, the store's own
# write-ahead log with synchronous=FULL) and on a throwaway PostgreSQL server that, unlike
# the test server, runs with fsync on (the server's default).
#
#   bench/store/run-bench-store.sh [BUILD_DIR] [--bookings N] [--folder DIR]
set -euo pipefail

top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$top/build}"
shift || true
source "$top/bench/lib/common.sh"
bench="$(bench_program "$build" bench_store_booking)"
start_throwaway_pg "$top"
dir="$PG_BENCH_DIR"

# The test server starts with fsync=off on its command line; start it again
# with the same address and fsync left at its default (on).
bindir="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)"
port="${KESTO_TEST_PG_SERVER#*,}"
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -m fast \
    -o "-p $port -c listen_addresses=127.0.0.1 -k $dir" restart >/dev/null

"$bench" "$@"
