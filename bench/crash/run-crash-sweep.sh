#!/usr/bin/env bash
# Runs the crash sweep on SQLite and on a throwaway PostgreSQL server.
#
#   bench/crash/run-crash-sweep.sh [BUILD_DIR] [--kills N] [--copies N]
set -euo pipefail

top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$top/build}"
shift || true
source "$top/bench/lib/common.sh"
sweep="$(bench_program "$build" bench_crash_sweep)"
start_throwaway_pg "$top"

export LC_ALL=C.UTF-8 TZ=UTC
status=0
"$sweep" --engine sqlite "$@" || status=1
"$sweep" --engine postgresql "$@" || status=1
exit $status
