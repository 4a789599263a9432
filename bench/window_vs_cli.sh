#!/usr/bin/env bash
# The window's conversion run beside marrowvale-cli -j 1, on the same files in
# the same run, so that the ratio holds on a busy machine even when the
# absolute figures drift.
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
#   MV_BENCH_REPEAT=N  rounds over the cases; each case's fastest counts (default 3)
#   MV_BENCH_BIG_MB=N  the large file's size in MB (default 1000)
set -euo pipefail

readonly MB=1000000
readonly SMALL_FILES=2000
readonly BIG_FREE_KIB=$((4 * 1024 * 1024))

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=bench/common.sh
. "$here/common.sh"
bench_start $# "$@" marrowvale-cli marrowvale-window-run marrowvale-gen
cli=$bin/marrowvale-cli
window=$bin/marrowvale-window-run
gen=$bin/marrowvale-gen

# Sets last_ns to the wall time of the command, run with an empty $scratch/out;
# the window's own figures for its run go to last_run_ns and last_paints.
# Old results are set
# aside rather than deleted: removing thousands of files slows the next case.
last_ns=0 last_run_ns=0 last_paints=0
run_once() {
    if [ -e "$scratch/out" ]; then
        mkdir -p "$scratch/set-aside"
        mv "$scratch/out" "$(mktemp -d "$scratch/set-aside/XXXXXX")"
    fi
    mkdir "$scratch/out"
    local start end said seconds
    start=$(date +%s%N)
    said=$("$@" 2>"$scratch/err") || {
        note "failed: $*"
        cat "$scratch/err" >&2
        exit 1
    }
    end=$(date +%s%N)
    last_ns=$((end - start))
    read -r seconds last_paints <<<"${said:-0 0}"
    last_run_ns=$(awk -v s="$seconds" 'BEGIN { printf "%.0f", s * 1e9 }')
}

require_output() {
    local count
    count=$(find "$scratch/out" -type f -name '*.json' | wc -l)
    ((count == $1)) || die "expected $1 results, found $count"
}

secs() { awk -v n="$1" 'BEGIN { printf "%.3f", n / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# compare LABEL RESULTS SOURCE...: the fastest of $repeat rounds of each.
compare() {
    local label=$1 results=$2 round cli_best=0 run_best=0 proc_best=0 paints=0
    shift 2
    for ((round = 0; round < repeat; round++)); do
        run_once "$cli" convert -q -j 1 -o "$scratch/out" "$@"
        require_output "$results"
        if ((round == 0 || last_ns < cli_best)); then cli_best=$last_ns; fi
        run_once "$window" "$scratch/out" "$@"
        require_output "$results"
        if ((round == 0 || last_run_ns < run_best)); then
            run_best=$last_run_ns paints=$last_paints
        fi
        if ((round == 0 || last_ns < proc_best)); then proc_best=$last_ns; fi
    done
    printf '| %s | %s | %s | %s | %s | %s | %s |\n' "$label" "$(secs "$cli_best")" \
        "$(secs "$run_best")" "$(secs "$proc_best")" "$(ratio "$run_best" "$cli_best")" \
        "$(ratio "$proc_best" "$cli_best")" "$paints"
}

note "generating $SMALL_FILES small files"
"$gen" tree "$SMALL_FILES" "$scratch/small" >/dev/null
big_mb=${MV_BENCH_BIG_MB:-1000}
[[ $big_mb =~ ^[1-9][0-9]*$ ]] || die "MV_BENCH_BIG_MB must be a positive number"
free_kib=$(df -Pk "$scratch" | awk 'NR == 2 { print $4 }')
if ((free_kib < BIG_FREE_KIB && big_mb > 200)); then big_mb=200; fi
big=$((big_mb * MB)) big_label="$big_mb MB"
((big_mb != 1000)) || big_label="1 GB"
note "generating the $big_label records file"
"$gen" records "$big" "$scratch/records.xml" >/dev/null

echo "| case | cli -j 1 s | window run s | window process s | run / cli | process / cli | bar paints |"
echo "|---|---|---|---|---|---|---|"
compare "$SMALL_FILES small files" "$SMALL_FILES" "$scratch/small"
compare "$big_label file" 1 "$scratch/records.xml"
