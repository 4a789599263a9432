#!/usr/bin/env bash
# Whole-file benchmark: marrowvale-cli beside md5sum and cp over the same data,
# in one run, so that the ratios hold on a busy machine even when the absolute
# figures drift.
#
#   bench/whole_file.sh BIN_DIR
#
# BIN_DIR holds marrowvale-cli and marrowvale-gen (build/bin). The data is
# generated into a scratch folder under ${TMPDIR:-/tmp} and removed at the end:
# a 100 MB records file, its UTF-16 twin, the same grown to 200 MB, a 1 GB file
# (skipped when less than 4 GiB are free) and a folder of 10,000 files of 1 to
# 20 KB, each converted with -j 1 and, but the 200 MB file, with -j 2. Besides time and memory it counts the
# bytes the converter reads (rchar) and its system calls per small file
# (strace -c; skipped without strace).
#
# Environment:
#   MV_BENCH_REPEAT=N  rounds over the cases; each case's fastest counts (default 3)
#   MV_BENCH_RECORD=1  also writes the table to bench/runs/<date>-<host>/summary
set -euo pipefail

readonly MB=1000000
readonly SMALL_FILES=10000
readonly MIN_FREE_KIB=$((1024 * 1024))      # for the 100 and 200 MB cases
readonly BIG_FREE_KIB=$((4 * 1024 * 1024))  # for the 1 GB case

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=bench/common.sh
. "$here/common.sh"
bench_start $# "$@" marrowvale-cli marrowvale-gen
cli=$bin/marrowvale-cli
gen=$bin/marrowvale-gen
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (Debian package 'time')"
for tool in md5sum cp df awk iconv; do
    command -v "$tool" >/dev/null || die "$tool is missing"
done

free_kib() { df -Pk "$scratch" | awk 'NR == 2 { print $4 }'; }
(($(free_kib) >= MIN_FREE_KIB)) || die "less than 1 GiB free under ${TMPDIR:-/tmp}"

rows=$scratch/rows   # case, amount, unit, nanoseconds, peak KiB, md5sum nanoseconds
: >"$rows"
last_ns=0
last_kib=0
declare -A took   # nanoseconds by case, for the comparisons under the table

# Runs a command once in folder $1, with a fresh, empty $scratch/out and no
# $scratch/copy; sets last_ns (wall time) and last_kib (peak resident set).
# Deleting thousands of small files just before the next case slows that
# case on some file systems (ext4 here), so a folder of many files is set
# aside and goes with the scratch folder at the end.
discard() {
    local path=$1
    [ -e "$path" ] || return 0
    if [ -d "$path" ] && (($(find "$path" -maxdepth 2 | head -n 101 | wc -l) > 100)); then
        mkdir -p "$scratch/set-aside"
        mv "$path" "$(mktemp -d "$scratch/set-aside/XXXXXX")"
    else
        rm -rf "$path"
    fi
}

run_once() {
    local dir=$1
    shift
    discard "$scratch/out"
    discard "$scratch/copy"
    mkdir "$scratch/out"
    local start end
    start=$(date +%s%N)
    if ! (cd "$dir" && /usr/bin/time -f %M -o "$scratch/rss" "$@" >/dev/null); then
        note "failed in $dir: $*"
        [ ! -s "$scratch/rss" ] || cat "$scratch/rss" >&2
        exit 1
    fi
    end=$(date +%s%N)
    last_ns=$((end - start))
    last_kib=$(tail -n 1 "$scratch/rss")
}

# require_output FILE_COUNT: the last conversion wrote that many non-empty results.
require_output() {
    local count
    count=$(find "$scratch/out" -type f -name '*.json' -size +0 | wc -l)
    ((count == $1)) || die "expected $1 non-empty results, found $count in $scratch/out"
}

# The cases of one data set. They run in rounds, each case once per round, so
# that a busy spell on the machine slows all of them alike; the fastest of
# $repeat rounds counts, with the largest peak resident set among them.
case_names=() case_amounts=() case_units=() case_bases=() case_dirs=() case_outputs=()
case_commands=()

# add_case NAME AMOUNT UNIT BASE_CASE DIR RESULTS COMMAND...: BASE_CASE is the
# md5sum case of the same data (empty for that case itself); RESULTS is the
# number of results the command must leave in $scratch/out (0: not checked).
add_case() {
    case_names+=("$1") case_amounts+=("$2") case_units+=("$3") case_bases+=("${4:-$1}")
    case_dirs+=("$5") case_outputs+=("$6")
    shift 6
    case_commands+=("$(printf '%q ' "$@")")
}

run_cases() {
    local -a best=() peak=()
    local n=${#case_names[@]} round i
    for ((round = 0; round < repeat; round++)); do
        for ((i = 0; i < n; i++)); do
            eval "run_once \"\${case_dirs[i]}\" ${case_commands[i]}"
            ((case_outputs[i] == 0)) || require_output "${case_outputs[i]}"
            if ((round == 0 || last_ns < best[i])); then best[i]=$last_ns; fi
            if ((round == 0 || last_kib > peak[i])); then peak[i]=$last_kib; fi
        done
    done
    for ((i = 0; i < n; i++)); do took[${case_names[i]}]=${best[i]}; done
    for ((i = 0; i < n; i++)); do
        printf '%s\t%s\t%s\t%s\t%s\t%s\n' "${case_names[i]}" "${case_amounts[i]}" \
            "${case_units[i]}" "${best[i]}" "${peak[i]}" "${took[${case_bases[i]}]}" >>"$rows"
        note "$(printf '%-26s %8.3f s' "${case_names[i]}" \
            "$(awk -v ns="${best[i]}" 'BEGIN { print ns / 1e9 }')")"
    done
    case_names=() case_amounts=() case_units=() case_bases=() case_dirs=() case_outputs=()
    case_commands=()
}

# add_file_cases LABEL FILE [cp] [j2]: md5sum, (cp,) a -j 1 (and a -j 2)
# conversion of FILE.
add_file_cases() {
    local label=$1 file=$2 size
    size=$(stat -c %s "$file")
    add_case "md5sum $label" "$size" MB/s "" "$scratch" 0 md5sum "$file"
    if [ "${3:-}" = cp ]; then
        add_case "cp $label" "$size" MB/s "md5sum $label" "$scratch" 0 cp "$file" "$scratch/copy"
    fi
    add_case "convert -j 1 $label" "$size" MB/s "md5sum $label" "$scratch" 1 \
        "$cli" convert -q -j 1 -o "$scratch/out" "$file"
    if [ "${4:-}" = j2 ]; then
        add_case "convert -j 2 $label" "$size" MB/s "md5sum $label" "$scratch" 1 \
            "$cli" convert -q -j 2 -o "$scratch/out" "$file"
    fi
}

# Bytes read by a command and everything it waits for (rchar of /proc/PID/io),
# printed on standard output.
read_bytes() {
    discard "$scratch/out"
    mkdir "$scratch/out"
    sh -c '"$@" >/dev/null && cat /proc/$$/io' sh "$@" | awk '/^rchar:/ { print $2 }'
}
declare -A rchar   # bytes read by case

note "scratch folder $scratch, fastest of $repeat rounds"

# 100 MB and its double in one set, so that their ratio sees the same machine.
note "generating the 100 MB and 200 MB records files"
"$gen" records $((100 * MB)) "$scratch/records-100MB.xml"
"$gen" records $((200 * MB)) "$scratch/records-200MB.xml"
# The UTF-16 twin: the same records, declared and stored as UTF-16 with a
# byte-order mark.
{
    printf '\xff\xfe'
    sed '1s/encoding="windows-1252"/encoding="utf-16"/' "$scratch/records-100MB.xml" |
        iconv -f WINDOWS-1252 -t UTF-16LE
} >"$scratch/records-utf16.xml"
add_file_cases "100 MB" "$scratch/records-100MB.xml" cp j2
add_file_cases "UTF-16 twin" "$scratch/records-utf16.xml" "" j2
add_file_cases "200 MB" "$scratch/records-200MB.xml"
run_cases
rchar[100 MB]=$(read_bytes "$cli" convert -q -j 1 -o "$scratch/out" "$scratch/records-100MB.xml")
rchar[UTF-16 twin]=$(read_bytes "$cli" convert -q -j 1 -o "$scratch/out" "$scratch/records-utf16.xml")
size_100=$(stat -c %s "$scratch/records-100MB.xml")
size_utf16=$(stat -c %s "$scratch/records-utf16.xml")
rm -f "$scratch/records-100MB.xml" "$scratch/records-200MB.xml" "$scratch/records-utf16.xml"

if (($(free_kib) >= BIG_FREE_KIB)); then
    note "generating the 1 GB records file"
    "$gen" records $((1000 * MB)) "$scratch/records-1GB.xml"
    add_file_cases "1 GB" "$scratch/records-1GB.xml" cp j2
    run_cases
    size_1g=$(stat -c %s "$scratch/records-1GB.xml")
    rchar[1 GB]=$(read_bytes "$cli" convert -q -j 1 -o "$scratch/out" "$scratch/records-1GB.xml")
    rm -f "$scratch/records-1GB.xml"
else
    note "skipping the 1 GB case: less than 4 GiB free under ${TMPDIR:-/tmp}"
fi

tree=$scratch/tree
note "generating $SMALL_FILES small files"
"$gen" tree "$SMALL_FILES" "$tree"
files=()
while IFS= read -r name; do files+=("$name"); done < <(cd "$tree" && ls)
((${#files[@]} == SMALL_FILES)) || die "the generator wrote ${#files[@]} files, not $SMALL_FILES"
tree_bytes=$(du -sb "$tree" | awk '{ print $1 }')
label="$SMALL_FILES files"
add_case "md5sum $label" "$SMALL_FILES" files/s "" "$tree" 0 md5sum "${files[@]}"
add_case "cp -r $label" "$SMALL_FILES" files/s "md5sum $label" "$scratch" 0 \
    cp -r "$tree" "$scratch/copy"
for jobs in 1 2; do
    add_case "convert -j $jobs $label" "$SMALL_FILES" files/s "md5sum $label" "$tree" \
        "$SMALL_FILES" "$cli" convert -q -j "$jobs" -o "$scratch/out" "${files[@]}"
done
run_cases
# System calls of a -j 1 run over the small files, per file.
calls_per_file=""
if command -v strace >/dev/null; then
    discard "$scratch/out"
    mkdir "$scratch/out"
    (cd "$tree" && strace -f -c -o "$scratch/strace" "$cli" convert -q -j 1 -o "$scratch/out" \
        "${files[@]}" >/dev/null)
    calls_per_file=$(awk -v n="$SMALL_FILES" '$NF == "total" { printf "%.1f", $4 / n }' \
        "$scratch/strace")
else
    note "strace is missing: system calls per file not counted"
fi
rm -rf "$tree" "$scratch/out" "$scratch/copy"

# The table, the comparisons that the targets are stated in, and the setting.
report() {
    echo "marrowvale whole-file benchmark, $(date '+%Y-%m-%d %H:%M %Z') on $(hostname)"
    echo "cpu: $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo), $(nproc) cores;" \
        "load average at the end: $(cut -d ' ' -f 1-3 /proc/loadavg)"
    local commit
    commit=$(git -C "$here/.." describe --always --dirty 2>/dev/null || echo unknown)
    echo "commit: $commit; command: bench/whole_file.sh BIN_DIR; fastest of $repeat rounds"
    echo "MB = 10^6 bytes; peak RSS in MiB; x md5sum = time over md5sum's time on the same data"
    echo "small files: $SMALL_FILES files, $((tree_bytes / MB)) MB in all"
    echo
    awk -F '\t' '
        BEGIN { printf "%-26s %18s %9s %11s %9s\n", "case", "rate", "seconds", "peak RSS", "x md5sum" }
        {
            s = $4 / 1e9
            rate = $3 == "MB/s" ? $2 / 1e6 / s : $2 / s
            printf "%-26s %10.1f %-7s %9.3f %7.1f MiB %9.2f\n", $1, rate, $3, s, $5 / 1024, $4 / $6
        }' "$rows"
    echo
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
    verdict() { awk -v v="$1" -v t="$2" -v op="$3" \
        'BEGIN { ok = op == "<=" ? v <= t : op == ">=" ? v >= t : v > t; print ok ? "met" : "missed" }'; }
    local x
    x=$(ratio "${took[convert -j 1 100 MB]}" "${took[md5sum 100 MB]}")
    echo "100 MB, -j 1: $x x md5sum (target <= 1.0, goal 0.7): $(verdict "$x" 1.0 '<=')"
    x=$(ratio "${took[convert -j 2 100 MB]}" "${took[md5sum 100 MB]}")
    echo "100 MB, -j 2: $x x md5sum (target <= 0.6): $(verdict "$x" 0.6 '<=')"
    x=$(ratio "${took[convert -j 1 UTF-16 twin]}" "${took[md5sum UTF-16 twin]}")
    echo "UTF-16 twin, -j 1: $x x md5sum of its bytes (target <= 1.0): $(verdict "$x" 1.0 '<=')"
    x=$(ratio "${rchar[100 MB]}" "$size_100")
    echo "100 MB, bytes read: $x x the file (target <= 1.15): $(verdict "$x" 1.15 '<=')"
    x=$(ratio "${rchar[UTF-16 twin]}" "$size_utf16")
    echo "UTF-16 twin, bytes read: $x x the file (target <= 1.15): $(verdict "$x" 1.15 '<=')"
    x=$(ratio "${took[convert -j 1 200 MB]}" "${took[convert -j 1 100 MB]}")
    echo "UTF-16 twin, -j 2: $(ratio "${took[convert -j 2 UTF-16 twin]}" "${took[md5sum UTF-16 twin]}") x md5sum of its bytes"
    echo "200 MB over 100 MB: $x x the time (2.00 grows in step with the size)"
    if [ -n "${took[convert -j 1 1 GB]:-}" ]; then
        x=$(awk -F '\t' '$1 == "convert -j 1 1 GB" { printf "%.1f", $5 / 1024 }' "$rows")
        echo "1 GB, -j 1: peak RSS $x MiB (target <= 16): $(verdict "$x" 16 '<=')"
        x=$(awk -F '\t' '$1 == "convert -j 2 1 GB" { printf "%.1f", $5 / 1024 }' "$rows")
        echo "1 GB, -j 2: peak RSS $x MiB (target <= 16 per worker): $(verdict "$x" 32 '<=')"
        x=$(ratio "${rchar[1 GB]}" "$size_1g")
        echo "1 GB, bytes read: $x x the file (target <= 1.15): $(verdict "$x" 1.15 '<=')"
    else
        echo "1 GB: skipped (less than 4 GiB free)"
    fi
    x=$(awk -v n="$SMALL_FILES" -v ns="${took[convert -j 1 $label]}" 'BEGIN { printf "%.0f", n / (ns / 1e9) }')
    local cp_rate
    cp_rate=$(awk -v n="$SMALL_FILES" -v ns="${took[cp -r $label]}" 'BEGIN { printf "%.0f", n / (ns / 1e9) }')
    # Both rates follow the file system's state (thousands of files deleted
    # just before slow it down), so the converter is stated beside cp -r.
    echo "$label, -j 1: $x files/s, $(ratio "$x" "$cp_rate") x the rate of cp -r ($cp_rate files/s)"
    x=$(ratio "${took[convert -j 1 $label]}" "${took[convert -j 2 $label]}")
    echo "$label, -j 2: $x x the rate of -j 1 (target > 1): $(verdict "$x" 1 '>')"
    if [ -n "$calls_per_file" ]; then
        echo "$label, -j 1: $calls_per_file system calls per file (strace -c; target <= 12):" \
            "$(verdict "$calls_per_file" 12 '<=')"
    else
        echo "$label: system calls not counted (no strace)"
    fi
}

report >"$scratch/summary"
echo
cat "$scratch/summary"
if [ -n "${MV_BENCH_RECORD:-}" ]; then
    run_dir=$here/runs/$(date +%Y-%m-%d)-$(hostname -s)
    mkdir -p "$run_dir"
    cp "$scratch/summary" "$run_dir/summary"
    note "recorded in $run_dir/summary"
fi
