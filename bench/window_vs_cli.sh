#!/usr/bin/env bash
# The window's conversion run beside marrowvale-cli -j 1 on the same files,
# in pairs (see common.sh).
#
#   bench/window_vs_cli.sh BIN_DIR
#
# BIN_DIR holds marrowvale-cli, marrowvale-window-run and marrowvale-gen
# (build/bin). Cases: a folder of 2,000 files of 1 to 20 KB, and one records
# file of 1 GB (200 MB when less than 4 GiB are free). The window runs on the
# offscreen platform and paints as on screen. "window run" is the time from
# the press of "Start Converting" to "Done."; "window process" adds starting
# Qt and filling the list; "bar paints" counts how often the progress bar was
# drawn during the run. The CLI is timed as a whole process.
#
# Environment:
#   MV_BENCH_REPEAT=N   paired runs per case (default 5)
#   MV_BENCH_CASES=A,B  runs only when this holds "window" (default: all)
#   MV_BENCH_BIG_MB=N   the large file's size in MB (default 1000)
#   MV_BENCH_RECORD=1   also writes the table to bench/runs/<date>-<host>/window_vs_cli.md
set -euo pipefail

readonly MB=1000000
readonly SMALL_FILES=2000
readonly BIG_FREE_KIB=$((4 * 1024 * 1024))

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=bench/common.sh
. "$here/common.sh"
bench_start $# "window" "$@" marrowvale-cli marrowvale-window-run marrowvale-gen
cli=$bin/marrowvale-cli
window=$bin/marrowvale-window-run
gen=$bin/marrowvale-gen
out=$disk_scratch/out

# compare LABEL RESULTS SOURCE...
compare() {
    local label=$1 results=$2 round
    shift 2
    local -a by_cli=() runs=() processes=() paints=()
    with_cli() {
        converted "$out" "$results" . -j 1 "$@"
        by_cli+=("$wall")
    }
    with_window() {
        fresh_dir "$out"
        measure -s "$window" "$out" "$@"
        require_results "$out" "$results"
        local seconds count
        read -r seconds count <"$disk_scratch/.stdout"
        processes+=("$wall") runs+=("$seconds") paints+=("$count")
    }
    for ((round = 0; round < repeat; round++)); do
        if ((round % 2 == 0)); then
            with_cli "$@"
            with_window "$@"
        else
            with_window "$@"
            with_cli "$@"
        fi
    done
    conv=("${runs[@]}") ref=("${by_cli[@]}")
    row "window: $label, window run" "$disk_where" "cli -j 1" s ""
    conv=("${processes[@]}")
    row "window: $label, window process" "$disk_where" "cli -j 1" s ""
    value "window: $label, bar paints" "$disk_where" paints "" "${paints[@]}"
}

note "generating $SMALL_FILES small files"
"$gen" tree "$SMALL_FILES" "$disk_scratch/small" >/dev/null
big_mb=${MV_BENCH_BIG_MB:-1000}
[[ $big_mb =~ ^[1-9][0-9]*$ ]] || die "MV_BENCH_BIG_MB must be a positive number"
if (($(free_kib "$disk_scratch") < BIG_FREE_KIB && big_mb > 200)); then big_mb=200; fi
big_label="$big_mb MB"
((big_mb != 1000)) || big_label="1 GB"
note "generating the $big_label records file"
"$gen" records $((big_mb * MB)) "$disk_scratch/records.xml" >/dev/null

compare "$SMALL_FILES small files" "$SMALL_FILES" "$disk_scratch/small"
compare "$big_label file" 1 "$disk_scratch/records.xml"

finish "The window beside the CLI"
