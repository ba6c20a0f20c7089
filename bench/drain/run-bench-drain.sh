#!/usr/bin/env bash
# Runs bench_drain on SQLite and on a throwaway PostgreSQL server that, unlike
# the test server, runs with fsync on (the server's default).
#
#   bench/drain/run-bench-drain.sh [BUILD_DIR] [--files N] [--paced N] [--syscalls N]
set -euo pipefail

top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$top/build}"
shift || true
source "$top/bench/lib/common.sh"
bench="$(bench_program "$build" bench_drain)"
start_throwaway_pg "$top"
restart_pg_with_fsync "$PG_BENCH_DIR"

export LC_ALL=C.UTF-8 TZ=UTC
"$bench" --engine sqlite "$@"
"$bench" --engine postgresql "$@"
