#!/usr/bin/env bash
# What the sync at the end of a run costs, in pairs (see common.sh):
#
#   one small file converted while another process has 1 GB of data waiting
#   to be written on the same file system, against the same while the file
#   system is idle (skipped with less than 3 GiB of memory available); and
#   10,000 small files with -j 1 against cp -r of them followed by sync -f,
#   which also waits until its copies are on the disk.
#
#   bench/sync_cost.sh BIN_DIR
#
# BIN_DIR holds marrowvale-cli and marrowvale-gen (build/bin). The waiting
# data is a file written with dd and removed unwritten after each timing, so
# the disk never takes it.
#
# Environment:
#   MV_BENCH_REPEAT=N   paired runs per case (default 5)
#   MV_BENCH_CASES=A,B  runs only when this holds "sync" (default: all)
#   MV_BENCH_RECORD=1   also writes the table to bench/runs/<date>-<host>/sync_cost.md
set -euo pipefail

readonly SMALL_FILES=10000
readonly WAITING_MIB=1000

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=bench/common.sh
. "$here/common.sh"
bench_start $# "sync" "$@" marrowvale-cli marrowvale-gen
cli=$bin/marrowvale-cli
gen=$bin/marrowvale-gen
for tool in dd awk cp sync; do
    command -v "$tool" >/dev/null || die "$tool is missing"
done
tree=$disk_scratch/tree
out=$disk_scratch/out
copy=$disk_scratch/copy

note "generating $SMALL_FILES small files"
"$gen" tree "$SMALL_FILES" "$tree"
files=()
mapfile -t files < <(cd "$tree" && ls)
((${#files[@]} == SMALL_FILES)) || die "the generator wrote ${#files[@]} files, not $SMALL_FILES"
# The generated files go to disk now, so that "idle" means idle.
sync -f "$tree"

# convert ARGS...: one conversion in the tree into a fresh results folder.
convert() {
    fresh_dir "$out"
    measure -C "$tree" "$cli" convert -q -o "$out" "$@"
}

available_kib=$(awk '$1 == "MemAvailable:" { print $2 }' /proc/meminfo)
if ((available_kib >= 3 * 1024 * 1024)); then
    idle=() busy=()
    one_idle() {
        convert "${files[0]}"
        idle+=("$wall")
    }
    one_busy() {
        dd if=/dev/zero of="$disk_scratch/waiting" bs=1M count="$WAITING_MIB" status=none
        convert "${files[0]}"
        busy+=("$wall")
        rm -f "$disk_scratch/waiting"
    }
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" one_idle one_busy
    done
    conv=("${busy[@]}") ref=("${idle[@]}")
    row "sync: one small file, $WAITING_MIB MiB waiting" "$disk_where" "the same, idle" s "<= 2"
else
    skip "sync, one small file" "less than 3 GiB of memory available"
fi

many=() copied=()
many_convert() {
    convert -j 1 "${files[@]}"
    require_results "$out" "$SMALL_FILES"
    many+=("$wall")
}
many_copy() {
    fresh_dir "$copy"
    rmdir "$copy"
    # shellcheck disable=SC2016  # expanded by the inner shell
    measure sh -c 'cp -r "$1" "$2" && sync -f "$2"' sh "$tree" "$copy"
    copied+=("$wall")
}
for ((round = 0; round < repeat; round++)); do
    in_turn "$round" many_convert many_copy
done
conv=("${many[@]}") ref=("${copied[@]}")
row "sync: $SMALL_FILES small files, -j 1" "$disk_where" "cp -r TREE OUT2; sync -f OUT2" s ""

finish "The sync at the end of a run"
