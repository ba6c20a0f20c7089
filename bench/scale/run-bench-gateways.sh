#!/usr/bin/env bash
# Runs bench_gateways against a throwaway PostgreSQL server and on SQLite.
#
#   bench/scale/run-bench-gateways.sh [BUILD_DIR] [--files N] [--locators N]
set -euo pipefail

top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$top/build}"
shift || true
bench="$build/bin/bench_gateways"
[ -x "$bench" ] || { echo "build the target bench_gateways in $build first" >&2; exit 1; }
source "$top/bench/lib/throwaway-pg.sh"
start_throwaway_pg "$top"

export LC_ALL=C.UTF-8 TZ=UTC
"$bench" "$@"
