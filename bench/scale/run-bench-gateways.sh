#!/usr/bin/env bash
# Runs bench_gateways against a throwaway PostgreSQL server and on SQLite.
#
#   bench/scale/run-bench-gateways.sh [BUILD_DIR] [--files N] [--locators N]
set -euo pipefail

top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$top/build}"
shift || true
source "$top/bench/lib/common.sh"
bench="$(bench_program "$build" bench_gateways)"
start_throwaway_pg "$top"

export LC_ALL=C.UTF-8 TZ=UTC
"$bench" "$@"
