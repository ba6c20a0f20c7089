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

restart_pg_with_fsync "$dir"

"$bench" "$@"
