#!/usr/bin/env bash
# What the sync at the end of a run costs: one small file converted while
# the machine is idle and while another process has 1 GB of data waiting to
# be written on the same file system (in pairs, so that the ratio holds on a
# busy machine), and 10,000 small files at once.
#
#   bench/sync_cost.sh BIN_DIR
#
# BIN_DIR holds marrowvale-cli and marrowvale-gen (build/bin). The waiting
# data is a file written with dd and removed unwritten after each timing, so
# the disk never takes it. The 1 GB case is skipped with less than 3 GiB of
# memory available.
#
# Environment:
#   MV_BENCH_REPEAT=N  pairs of the one-file case, rounds of the 10,000-file
#                      case (default 3); the median pair and the fastest round
#                      count
set -euo pipefail

readonly SMALL_FILES=10000
readonly WAITING_MIB=1000

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=bench/common.sh
. "$here/common.sh"
bench_start $# "$@" marrowvale-cli marrowvale-gen
cli=$bin/marrowvale-cli
gen=$bin/marrowvale-gen
for tool in dd awk sort; do
    command -v "$tool" >/dev/null || die "$tool is missing"
done

# Milliseconds of one conversion into a fresh folder; the arguments follow.
time_ms() {
    rm -rf "$scratch/out"
    mkdir "$scratch/out"
    local start end
    start=$(date +%s%N)
    (cd "$scratch/tree" && "$cli" convert -q -o "$scratch/out" "$@" >/dev/null) ||
        die "the conversion failed: $*"
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

note "generating $SMALL_FILES small files"
"$gen" tree "$SMALL_FILES" "$scratch/tree"
files=()
while IFS= read -r name; do files+=("$name"); done < <(cd "$scratch/tree" && ls)
((${#files[@]} == SMALL_FILES)) || die "the generator wrote ${#files[@]} files, not $SMALL_FILES"
one=${files[0]}
# The generated files go to disk now, so that "idle" means idle.
sync -f "$scratch/tree"

available_kib=$(awk '$1 == "MemAvailable:" { print $2 }' /proc/meminfo)
idle=()
busy=()
if ((available_kib >= 3 * 1024 * 1024)); then
    for ((i = 0; i < repeat; i++)); do
        idle+=("$(time_ms "$one")")
        dd if=/dev/zero of="$scratch/waiting" bs=1M count="$WAITING_MIB" status=none
        busy+=("$(time_ms "$one")")
        rm -f "$scratch/waiting"
    done
else
    note "skipping the waiting-data case: less than 3 GiB of memory available"
fi

many=()
for ((i = 0; i < repeat; i++)); do
    many+=("$(time_ms -j 1 "${files[@]}")")
done

echo "sync cost ($(basename "$(dirname "$bin")"), $repeat rounds)"
if ((${#idle[@]} > 0)); then
    idle_ms=$(printf '%s\n' "${idle[@]}" | median)
    busy_ms=$(printf '%s\n' "${busy[@]}" | median)
    printf '  one small file, idle:                 %6d ms (median of %s)\n' "$idle_ms" "${idle[*]}"
    printf '  one small file, %d MiB waiting:      %6d ms (median of %s)\n' "$WAITING_MIB" \
        "$busy_ms" "${busy[*]}"
    awk -v b="$busy_ms" -v i="$idle_ms" 'BEGIN { printf "  waiting / idle:                       %6.1fx (target <= 2x)\n", b / (i > 0 ? i : 1) }'
fi
many_ms=$(printf '%s\n' "${many[@]}" | sort -n | head -n 1)
printf '  %d small files, -j 1:              %6d ms (fastest of %s)\n' "$SMALL_FILES" "$many_ms" \
    "${many[*]}"
