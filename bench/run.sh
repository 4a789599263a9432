#!/usr/bin/env bash
# Everything `make bench` measures: the engine's micro-benchmarks, then the
# whole-program scripts, each printing its own table.
#
#   bench/run.sh BIN_DIR
#
# Environment (passed on to every script):
#   MV_BENCH_REPEAT=N   paired runs per case (default 5; 1 or 2 for a quick look)
#   MV_BENCH_CASES=A,B  only these cases (default: all): micro, the engine's
#                       micro-benchmarks; mixed, small, folder, cold, warm
#                       (batch.sh); utf16, scale, rchar, memory (whole_file.sh);
#                       sync (sync_cost.sh); window (window_vs_cli.sh)
#   MV_BENCH_RECORD=1   also writes each table to bench/runs/<date>-<host>/
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=bench/common.sh
. "$here/common.sh"
[ $# -eq 1 ] || die "usage: $me BIN_DIR"
check_settings
bin=$1

if wanted micro; then
    [ -x "$bin/marrowvale-bench" ] || die "$bin/marrowvale-bench is missing; build first (make build)"
    "$bin/marrowvale-bench" --benchmark_counters_tabular=true
fi
"$here/batch.sh" "$bin"
"$here/whole_file.sh" "$bin"
"$here/sync_cost.sh" "$bin"
if [ -x "$bin/marrowvale-window-run" ]; then
    "$here/window_vs_cli.sh" "$bin"
elif wanted window; then
    note "window: skipped, $bin/marrowvale-window-run is not built (GUI=OFF)"
fi
