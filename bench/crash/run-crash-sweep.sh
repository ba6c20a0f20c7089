#!/usr/bin/env bash
# Runs the crash sweep on SQLite and on a throwaway PostgreSQL server.
#
#   bench/crash/run-crash-sweep.sh [BUILD_DIR] [--kills N] [--copies N]
set -euo pipefail

top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$top/build}"
shift || true
sweep="$build/bin/bench_crash_sweep"
[ -x "$sweep" ] || { echo "build the target bench_crash_sweep in $build first" >&2; exit 1; }
source "$top/bench/lib/throwaway-pg.sh"
start_throwaway_pg "$top"

export LC_ALL=C.UTF-8 TZ=UTC
status=0
"$sweep" --engine sqlite "$@" || status=1
"$sweep" --engine postgresql "$@" || status=1
exit $status
