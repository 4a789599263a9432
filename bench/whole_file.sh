#!/usr/bin/env bash
# Single large files through marrowvale-cli, each beside a reference over the
# same data in pairs (see common.sh), source and results on disk:
#
#   utf16   a 100 MB records file stored as UTF-16 with a byte-order mark
#           (200 MB), -j 1 and -j 2 against md5sum of its bytes
#   scale   the 200 MB records file against the 100 MB one, -j 1: the time
#           should grow in step with the size
#   rchar   bytes the converter reads (rchar of /proc/PID/io) over the file's
#           size: the 100 MB file, its UTF-16 twin, and the 1 GB file when the
#           memory case runs
#   memory  a 1 GB records file, -j 1 and -j 2 against md5sum, and the peak
#           resident set of each (skipped when less than 4 GiB are free)
#
#   bench/whole_file.sh BIN_DIR
#
# BIN_DIR holds marrowvale-cli and marrowvale-gen (build/bin). The data is
# generated into a scratch folder under ${TMPDIR:-/tmp} and removed at the end.
#
# Environment:
#   MV_BENCH_REPEAT=N   paired runs per case (default 5)
#   MV_BENCH_CASES=A,B  only these cases (default: all)
#   MV_BENCH_RECORD=1   also writes the table to bench/runs/<date>-<host>/whole_file.md
set -euo pipefail

readonly MB=1000000
readonly MIN_FREE_KIB=$((1024 * 1024))     # for the 100 and 200 MB files
readonly BIG_FREE_KIB=$((4 * 1024 * 1024)) # for the 1 GB file

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=bench/common.sh
. "$here/common.sh"
bench_start $# "utf16 scale rchar memory" "$@" marrowvale-cli marrowvale-gen
cli=$bin/marrowvale-cli
gen=$bin/marrowvale-gen
for tool in md5sum df awk iconv sed; do
    command -v "$tool" >/dev/null || die "$tool is missing"
done
(($(free_kib "$disk_scratch") >= MIN_FREE_KIB)) || die "less than 1 GiB free under ${TMPDIR:-/tmp}"
where=$disk_where
out=$disk_scratch/out

# convert_j JOBS FILE: one conversion into a fresh results folder.
convert_j() { converted "$out" 1 . -j "$1" "$2"; }

# Bytes read by a conversion and everything it waits for, over FILE's size.
read_ratio() {
    local file=$1 bytes
    fresh_dir "$out"
    bytes=$(sh -c '"$@" >/dev/null && cat /proc/$$/io' sh \
        "$cli" convert -q -j 1 -o "$out" "$file" | awk '/^rchar:/ { print $2 }')
    awk -v b="$bytes" -v s="$(stat -c %s "$file")" 'BEGIN { printf "%.4f", b / s }'
}

# The 100 MB file, the same records grown to 200 MB, and the UTF-16 twin:
# the 100 MB records declared and stored as UTF-16 with a byte-order mark.
file_100=$disk_scratch/records-100MB.xml
file_200=$disk_scratch/records-200MB.xml
twin=$disk_scratch/records-utf16.xml
if wanted utf16 || wanted scale || wanted rchar; then
    note "generating the 100 MB records file and its UTF-16 twin"
    "$gen" records $((100 * MB)) "$file_100"
    {
        printf '\xff\xfe'
        sed '1s/encoding="windows-1252"/encoding="utf-16"/' "$file_100" |
            iconv -f WINDOWS-1252 -t UTF-16LE
    } >"$twin"
fi

if wanted utf16; then
    md5=() one=() two=()
    twin_md5() {
        measure md5sum "$twin"
        md5+=("$wall")
    }
    twin_j1() {
        convert_j 1 "$twin"
        one+=("$wall")
    }
    twin_j2() {
        convert_j 2 "$twin"
        two+=("$wall")
    }
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" twin_md5 twin_j1 twin_j2
    done
    conv=("${one[@]}") ref=("${md5[@]}")
    row "utf16: UTF-16 twin of 100 MB (200 MB), -j 1" "$where" "md5sum FILE" s "<= 1.0"
    conv=("${two[@]}")
    row "utf16: UTF-16 twin of 100 MB (200 MB), -j 2" "$where" "md5sum FILE" s ""
fi

if wanted scale; then
    note "generating the 200 MB records file"
    "$gen" records $((200 * MB)) "$file_200"
    small=() large=()
    scale_100() {
        convert_j 1 "$file_100"
        small+=("$wall")
    }
    scale_200() {
        convert_j 1 "$file_200"
        large+=("$wall")
    }
    for ((round = 0; round < repeat; round++)); do
        in_turn "$round" scale_200 scale_100
    done
    conv=("${large[@]}") ref=("${small[@]}")
    row "scale: 200 MB file, -j 1" "$where" "100 MB file, -j 1" s "<= 2.0"
    rm -f "$file_200"
fi

if wanted rchar; then
    value "rchar: bytes read over the size, 100 MB file" "$where" x "<= 1.15" "$(read_ratio "$file_100")"
    value "rchar: bytes read over the size, UTF-16 twin" "$where" x "<= 1.15" "$(read_ratio "$twin")"
fi
rm -f "$file_100" "$twin"

if wanted memory; then
    if (($(free_kib "$disk_scratch") >= BIG_FREE_KIB)); then
        big=$disk_scratch/records-1GB.xml
        note "generating the 1 GB records file"
        "$gen" records $((1000 * MB)) "$big"
        md5=() one=() two=() one_kib=() two_kib=()
        big_md5() {
            measure md5sum "$big"
            md5+=("$wall")
        }
        big_j1() {
            convert_j 1 "$big"
            one+=("$wall") one_kib+=("$(awk -v k="$rss_kib" 'BEGIN { printf "%.1f", k / 1024 }')")
        }
        big_j2() {
            convert_j 2 "$big"
            two+=("$wall") two_kib+=("$(awk -v k="$rss_kib" 'BEGIN { printf "%.1f", k / 1024 }')")
        }
        for ((round = 0; round < repeat; round++)); do
            in_turn "$round" big_md5 big_j1 big_j2
        done
        conv=("${one[@]}") ref=("${md5[@]}")
        row "memory: 1 GB file, -j 1" "$where" "md5sum FILE" s "<= 1.0"
        conv=("${two[@]}")
        row "memory: 1 GB file, -j 2" "$where" "md5sum FILE" s "<= 0.6"
        value "memory: peak RSS, 1 GB file, -j 1" "$where" MiB "<= 16" "${one_kib[@]}"
        value "memory: peak RSS, 1 GB file, -j 2" "$where" MiB "<= 32" "${two_kib[@]}"
        if wanted rchar; then
            value "rchar: bytes read over the size, 1 GB file" "$where" x "<= 1.15" "$(read_ratio "$big")"
        fi
        rm -f "$big"
    else
        skip "memory" "less than 4 GiB free under ${TMPDIR:-/tmp}"
    fi
fi

finish "Large files: marrowvale-cli beside md5sum"
