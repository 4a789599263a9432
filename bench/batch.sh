#!/usr/bin/env bash
# Whole runs of marrowvale-cli, each beside a reference over the same data in
# pairs (see common.sh), on disk and on tmpfs:
#
#   warm    a 100 MB records file in the page cache, results on tmpfs: -j 1
#           and -j 2 against md5sum FILE (wall and processor time), -j 1 on
#           each of two cores alone against md5sum there, and reading the file
#           and writing as many bytes alone (dd) against md5sum
#   small   5,000 files of 1 to 20 KB on tmpfs: -j 2 against -j 1 (wall and
#           processor time), and futex calls per file (strace -f -c)
#   folder  10,000 small files given as their folder against the same given
#           by name (--files-from), -j 1; system calls per file of both
#   mixed   a 500 MB file and 5,000 small files in one call with -j 2, the big
#           file first and last, against the sum of two -j 1 runs (the big
#           file alone, the small ones alone)
#   cold    the page cache emptied before each run (root only): a 1 GB file
#           with -j 2 against cat FILE, 10,000 small files with -j 2 -o OUT
#           against cp -r TREE OUT2; and each cold conversion against the same
#           one warm (its sources cached beforehand, the same output place),
#           the part of the cold time that is the conversion itself
#
#   bench/batch.sh BIN_DIR
#
# BIN_DIR holds marrowvale-cli and marrowvale-gen (build/bin). The data is
# generated into scratch folders under ${TMPDIR:-/tmp} and /dev/shm and
# removed at the end.
#
# Environment:
#   MV_BENCH_REPEAT=N   paired runs per case (default 5)
#   MV_BENCH_CASES=A,B  only these cases (default: all)
#   MV_BENCH_RECORD=1   also writes the table to bench/runs/<date>-<host>/batch.md
set -euo pipefail

readonly MB=1000000
readonly GIB_KIB=$((1024 * 1024))

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=bench/common.sh
. "$here/common.sh"
bench_start $# "warm small folder mixed cold" "$@" marrowvale-cli marrowvale-gen
cli=$bin/marrowvale-cli
gen=$bin/marrowvale-gen
for tool in md5sum cat cp find sort awk; do
    command -v "$tool" >/dev/null || die "$tool is missing"
done
has_strace=""
if command -v strace >/dev/null; then has_strace=1; fi

# tree_in DIR COUNT: a folder of COUNT small files in DIR, made once.
tree_in() {
    local tree=$1/tree-$2
    if [ ! -d "$tree" ]; then
        note "generating $2 small files in $1"
        "$gen" tree "$2" "$tree"
    fi
    echo "$tree"
}
# records_in DIR MEGABYTES: a records file of that size in DIR, made once.
records_in() {
    local file=$1/records-$2MB.xml
    if [ ! -f "$file" ]; then
        note "generating a $2 MB records file in $1"
        "$gen" records $(($2 * MB)) "$file"
    fi
    echo "$file"
}
names_in() { (cd "$1" && ls); }

case_warm() {
    if ! use_tmpfs "$GIB_KIB"; then
        skip "warm" "no tmpfs at /dev/shm with 1 GiB free"
        return
    fi
    local file out=$shm_scratch/out round
    file=$(records_in "$disk_scratch" 100)
    cat "$file" >/dev/null
    local -a w1=() c1=() w2=() c2=() wm=() cm=()
    warm_md5() {
        measure md5sum "$file"
        wm+=("$wall") cm+=("$cpu")
    }
    warm_j1() {
        converted "$out" 1 . -j 1 "$file"
        w1+=("$wall") c1+=("$cpu")
    }
    warm_j2() {
        converted "$out" 1 . -j 2 "$file"
        w2+=("$wall") c2+=("$cpu")
    }
    # What reading the source and writing a result of its size cost alone,
    # in the converter's blocks: the part of its time that is not conversion.
    # Paired with the round's md5sum.
    local -a wi=()
    warm_io() {
        fresh_dir "$out"
        measure dd if="$file" of="$out/io" bs=64K status=none
        wi+=("$wall")
    }
    # Each core alone: the cores of a virtual machine need not be equal, and
    # -j 2 can be no faster than its two cores together.
    local -a cpus=() p0=() m0=() p1=() m1=()
    if command -v taskset >/dev/null; then
        mapfile -t cpus < <(taskset -cp $$ | sed 's/.*: //' | tr ',' '\n' |
            awk -F- '{ for (c = $1; c <= ($2 == "" ? $1 : $2); c++) print c }' | head -n 2)
    fi
    # on_core CPU MD5S CONVS: md5sum, then -j 1, on that core alone.
    on_core() {
        local -n md5s=$2 convs=$3
        measure taskset -c "$1" md5sum "$file"
        md5s+=("$wall")
        pinned="taskset -c $1" converted "$out" 1 . -j 1 "$file"
        convs+=("$wall")
    }
    warm_pinned() {
        ((${#cpus[@]} == 2)) || return 0
        on_core "${cpus[0]}" m0 p0
        on_core "${cpus[1]}" m1 p1
    }
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" warm_md5 warm_j1 warm_j2 warm_pinned warm_io
    done
    local where="tmpfs"
    conv=("${w1[@]}") ref=("${wm[@]}")
    row "warm: 100 MB file, -j 1 (wall)" "$where" "md5sum FILE" s "<= 0.6"
    conv=("${w2[@]}")
    row "warm: 100 MB file, -j 2 (wall)" "$where" "md5sum FILE" s "<= 0.4"
    conv=("${wi[@]}") ref=("${wm[@]}")
    row "warm: reading it and writing as many bytes alone (dd bs=64K)" "$where" "md5sum FILE" s ""
    conv=("${c1[@]}") ref=("${cm[@]}")
    row "warm: 100 MB file, -j 1 (processor)" "$where" "md5sum FILE" s ""
    conv=("${c2[@]}")
    row "warm: 100 MB file, -j 2 (processor)" "$where" "md5sum FILE" s ""
    if ((${#cpus[@]} == 2)); then
        conv=("${p0[@]}") ref=("${m0[@]}")
        row "warm: 100 MB file, -j 1 on cpu ${cpus[0]} alone (wall)" "$where" "md5sum FILE there" s ""
        conv=("${p1[@]}") ref=("${m1[@]}")
        row "warm: 100 MB file, -j 1 on cpu ${cpus[1]} alone (wall)" "$where" "md5sum FILE there" s ""
    else
        skip "warm, each core alone" "taskset is missing, or fewer than two cores"
    fi
    put_away "$out"
}

case_small() {
    if ! use_tmpfs "$GIB_KIB"; then
        skip "small" "no tmpfs at /dev/shm with 1 GiB free"
        return
    fi
    local tree out=$shm_scratch/out round
    tree=$(tree_in "$shm_scratch" 5000)
    local -a names w1=() c1=() w2=() c2=()
    mapfile -t names < <(names_in "$tree")
    small_j1() {
        converted "$out" "${#names[@]}" "$tree" -j 1 "${names[@]}"
        w1+=("$wall") c1+=("$cpu")
    }
    small_j2() {
        converted "$out" "${#names[@]}" "$tree" -j 2 "${names[@]}"
        w2+=("$wall") c2+=("$cpu")
    }
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" small_j2 small_j1
    done
    conv=("${w2[@]}") ref=("${w1[@]}")
    row "small: 5,000 files, -j 2 (wall)" tmpfs "-j 1" s "<= 0.65"
    conv=("${c2[@]}") ref=("${c1[@]}")
    row "small: 5,000 files, -j 2 (processor)" tmpfs "-j 1" s ""
    if [ -n "$has_strace" ]; then
        traced "$out" "$tree" -j 2 "${names[@]}"
        value "small: futex calls per file, -j 2 (strace -f -c)" tmpfs "per file" "" \
            "$(traced_per_file futex "${#names[@]}")"
        value "small: system calls per file, -j 2 (strace -f -c)" tmpfs "per file" "" \
            "$(traced_per_file total "${#names[@]}")"
    else
        skip "small, futex calls" "strace is missing (make bench-deps)"
    fi
    put_away "$out"
}

case_folder() {
    local where=$1 dir tree list out round
    dir=$(place_dir "$where")
    [ "$where" != disk ] || where=$disk_where
    out=$dir/out
    tree=$(tree_in "$dir" 10000)
    list=$dir/list-10000
    (cd "$dir" && find "$(basename "$tree")" -type f -name '*.xml' | sort) >"$list"
    local -a by_folder=() by_name=()
    folder_whole() {
        converted "$out" 10000 "$dir" -j 1 "$(basename "$tree")"
        by_folder+=("$wall")
    }
    folder_names() {
        converted "$out" 10000 "$dir" -j 1 --files-from "$list"
        by_name+=("$wall")
    }
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" folder_whole folder_names
    done
    conv=("${by_folder[@]}") ref=("${by_name[@]}")
    row "folder: 10,000 files given as their folder, -j 1" "$where" "--files-from LIST" s ""
    if [ -n "$has_strace" ]; then
        traced "$out" "$dir" -j 1 "$(basename "$tree")"
        value "folder: system calls per file, given the folder, -j 1" "$where" "per file" "<= 11" \
            "$(traced_per_file total 10000)"
        traced "$out" "$dir" -j 1 --files-from "$list"
        value "folder: system calls per file, --files-from LIST, -j 1" "$where" "per file" "<= 11" \
            "$(traced_per_file total 10000)"
    else
        skip "folder, system calls ($where)" "strace is missing (make bench-deps)"
    fi
    put_away "$out"
}

case_mixed() {
    local where=$1 dir tree big out round
    dir=$(place_dir "$where")
    [ "$where" != disk ] || where=$disk_where
    out=$dir/out
    tree=$(tree_in "$dir" 5000)
    big=$(records_in "$dir" 500)
    local -a names first=() last=() sum=()
    mapfile -t names < <(names_in "$tree")
    mixed_serial() {
        converted "$out" 1 "$tree" -j 1 "$big"
        local alone=$wall
        converted "$out" "${#names[@]}" "$tree" -j 1 "${names[@]}"
        sum+=("$(awk -v a="$alone" -v b="$wall" 'BEGIN { printf "%.6f", a + b }')")
    }
    mixed_first() {
        converted "$out" $((${#names[@]} + 1)) "$tree" -j 2 "$big" "${names[@]}"
        first+=("$wall")
    }
    mixed_last() {
        converted "$out" $((${#names[@]} + 1)) "$tree" -j 2 "${names[@]}" "$big"
        last+=("$wall")
    }
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" mixed_serial mixed_first mixed_last
    done
    local reference="-j 1 big + -j 1 small"
    conv=("${first[@]}") ref=("${sum[@]}")
    row "mixed: 500 MB + 5,000 small, -j 2, big first" "$where" "$reference" s "<= 0.6"
    conv=("${last[@]}")
    row "mixed: 500 MB + 5,000 small, -j 2, big last" "$where" "$reference" s "<= 0.6"
    put_away "$out"
    rm -f "$big"
}

case_cold() {
    if ! can_drop_caches; then
        skip "cold" "needs root and a writable /proc/sys/vm/drop_caches"
        return
    fi
    if (($(free_kib "$disk_scratch") < 4 * GIB_KIB)); then
        skip "cold" "less than 4 GiB free under ${TMPDIR:-/tmp}"
        return
    fi
    local big tree out=$disk_scratch/out copy=$disk_scratch/copy round
    big=$(records_in "$disk_scratch" 1000)
    tree=$(tree_in "$disk_scratch" 10000)
    local -a big_conv=() big_cat=() big_warm=() tree_conv=() tree_cp=() tree_warm=()
    # The warm twin of each cold run: its source read into the cache, and
    # what is waiting to be written synced, as a cold run has it.
    cache_big() {
        cat "$big" >/dev/null
        sync
    }
    cache_tree() {
        find "$tree" -type f -exec cat {} + >/dev/null
        sync
    }
    cold_big_conv() {
        converted -p drop_caches "$out" 1 . -j 2 "$big"
        big_conv+=("$wall")
    }
    warm_big_conv() {
        converted -p cache_big "$out" 1 . -j 2 "$big"
        big_warm+=("$wall")
    }
    cold_big_cat() {
        drop_caches
        measure cat "$big"
        big_cat+=("$wall")
    }
    cold_tree_conv() {
        converted -p drop_caches "$out" 10000 . -j 2 "$tree"
        tree_conv+=("$wall")
    }
    warm_tree_conv() {
        converted -p cache_tree "$out" 10000 . -j 2 "$tree"
        tree_warm+=("$wall")
    }
    cold_tree_cp() {
        fresh_dir "$copy"
        rmdir "$copy"
        drop_caches
        measure cp -r "$tree" "$copy"
        tree_cp+=("$wall")
    }
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" cold_big_conv cold_big_cat warm_big_conv
    done
    put_away "$out"
    rm -f "$big"
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" cold_tree_conv cold_tree_cp warm_tree_conv
    done
    conv=("${big_conv[@]}") ref=("${big_cat[@]}")
    row "cold: 1 GB file, -j 2" "$disk_where" "cat FILE" s "<= 1.5"
    conv=("${big_conv[@]}") ref=("${big_warm[@]}")
    row "cold: 1 GB file, -j 2" "$disk_where" "the same, warm" s ""
    conv=("${tree_conv[@]}") ref=("${tree_cp[@]}")
    row "cold: 10,000 files, -j 2 -o OUT" "$disk_where" "cp -r TREE OUT2" s "<= 0.9"
    conv=("${tree_conv[@]}") ref=("${tree_warm[@]}")
    row "cold: 10,000 files, -j 2 -o OUT" "$disk_where" "the same, warm" s ""
    put_away "$out"
    put_away "$copy"
}

if wanted warm; then case_warm; fi
if wanted small; then case_small; fi
if wanted folder; then
    case_folder disk
    if use_tmpfs $((2 * GIB_KIB)); then
        case_folder tmpfs
    else
        skip "folder (tmpfs)" "no tmpfs at /dev/shm with 2 GiB free"
    fi
fi
if wanted mixed; then
    if (($(free_kib "$disk_scratch") >= 3 * GIB_KIB)); then
        case_mixed disk
    else
        skip "mixed (disk)" "less than 3 GiB free under ${TMPDIR:-/tmp}"
    fi
    if use_tmpfs $((2 * GIB_KIB)); then
        case_mixed tmpfs
    else
        skip "mixed (tmpfs)" "no tmpfs at /dev/shm with 2 GiB free"
    fi
fi
if wanted cold; then case_cold; fi

finish "Batches: marrowvale-cli beside its references"
