# shellcheck shell=bash disable=SC2034  # the variables set here are read by the scripts
# Shared part of the whole-program benchmark scripts; sourced, not run.
#
#   bench_start "$@" CASES TOOL...  checks the BIN_DIR argument and that each
#                                   TOOL (a program name in it) is built; exits
#                                   quietly when none of CASES (a space-separated
#                                   list) is selected; sets bin, repeat and a
#                                   scratch folder on disk removed at exit.
#   wanted CASE                     whether MV_BENCH_CASES selects CASE
#   use_tmpfs MIN_KIB               makes a scratch folder under /dev/shm
#                                   (shm_scratch); fails when there is none or
#                                   it has less than MIN_KIB free
#   measure [-C DIR] [-s] CMD...    runs CMD once; sets wall and cpu (seconds)
#                                   and rss_kib
#   row / value / skip / finish     the table (see below)
#
# Every timed case runs its converter and its reference alternately, one pair
# per round, the order flipped from one round to the next, so that a busy
# spell on the shared machine slows both; a row gives the median and the range
# of each, and of the ratio of each pair.

me=$(basename "$0")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Every case any script knows, for MV_BENCH_CASES.
readonly BENCH_CASES="micro mixed small folder cold warm utf16 scale rchar memory sync window"

die() {
    echo "$me: $*" >&2
    exit 2
}
note() { echo "$me: $*" >&2; }

wanted() {
    local list=${MV_BENCH_CASES:-all}
    [ "$list" = all ] || [[ ",$list," == *",$1,"* ]]
}

# Checks MV_BENCH_CASES and MV_BENCH_REPEAT; usable before bench_start.
check_settings() {
    local name
    if [ -n "${MV_BENCH_CASES:-}" ] && [ "$MV_BENCH_CASES" != all ]; then
        for name in ${MV_BENCH_CASES//,/ }; do
            [[ " $BENCH_CASES " == *" $name "* ]] ||
                die "unknown case '$name' in MV_BENCH_CASES (known: ${BENCH_CASES// /,})"
        done
    fi
    repeat=${MV_BENCH_REPEAT:-5}
    [[ $repeat =~ ^[1-9][0-9]*$ ]] || die "MV_BENCH_REPEAT must be a positive number"
}

disk_scratch="" shm_scratch=""
cleanup() {
    [ -z "$disk_scratch" ] || rm -rf "$disk_scratch"
    [ -z "$shm_scratch" ] || rm -rf "$shm_scratch"
}

bench_start() {
    local count=$1 cases=$2
    shift 2
    [ "$count" -eq 1 ] || die "usage: $me BIN_DIR"
    check_settings
    local name any=""
    for name in $cases; do
        if wanted "$name"; then any=1; fi
    done
    [ -n "$any" ] || exit 0
    bin=$(cd "$1" 2>/dev/null && pwd) || die "no such folder: $1"
    shift
    local tool
    for tool in "$@"; do
        [ -x "$bin/$tool" ] || die "$bin/$tool is missing; build first (make build)"
    done
    [ -x "$bin/marrowvale-timed" ] || die "$bin/marrowvale-timed is missing; build first (make build)"
    disk_scratch=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX")
    trap cleanup EXIT
    trap 'exit 130' INT TERM
    disk_type=$(findmnt -n -o FSTYPE --target "$disk_scratch" 2>/dev/null) ||
        disk_type=$(stat -f -c %T "$disk_scratch")
    disk_where=disk
    [ "$disk_type" != tmpfs ] || disk_where=tmpfs
    rows=$disk_scratch/.rows skips=$disk_scratch/.skips
    : >"$rows"
    : >"$skips"
    load_start=$(cut -d ' ' -f 1-3 /proc/loadavg)
    note "scratch folder $disk_scratch ($disk_type), $repeat paired runs per case"
}

free_kib() { df -Pk "$1" | awk 'NR == 2 { print $4 }'; }

use_tmpfs() {
    if [ -z "$shm_scratch" ]; then
        [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(stat -f -c %T /dev/shm)" = tmpfs ] || return 1
        shm_scratch=$(mktemp -d "/dev/shm/$me.XXXXXX")
    fi
    (($(free_kib "$shm_scratch") >= $1))
}

# The folder of a place: disk or tmpfs.
place_dir() {
    if [ "$1" = tmpfs ]; then echo "$shm_scratch"; else echo "$disk_scratch"; fi
}

# Takes the folder $1 out of the way. Deleting thousands of small files slows
# the runs that follow on ext4 (without a journal it does not give a deleted
# file's inode to a new file for a minute or more, and looks at each one it
# passes over), so on disk a folder of many files is set aside (its large
# files deleted) and goes with the scratch folder at the end; tmpfs deletes
# at once. On disk what was deleted is committed, so that the next run's own
# sync does not pay for it (with the "discard" mount option, a deleted 500 MB
# result costs the next sync about a second).
put_away() {
    local path=$1
    [ -e "$path" ] || return 0
    if [ "$(stat -f -c %T "$path")" != tmpfs ]; then
        if (($(find "$path" -maxdepth 2 | head -n 101 | wc -l) > 100)); then
            find "$path" -type f -size +1M -delete
            mkdir -p "$disk_scratch/set-aside"
            mv "$path" "$(mktemp -d "$disk_scratch/set-aside/XXXXXX")"
        else
            rm -rf "$path"
        fi
        sync -f "$disk_scratch"
    else
        rm -rf "$path"
    fi
}

# Empties the results folder $1 for the next run.
fresh_dir() {
    put_away "$1"
    mkdir -p "$1"
}

# measure [-C DIR] [-s] CMD...: standard output is dropped, or with -s kept in
# $disk_scratch/.stdout; a failure ends the script.
wall=0 cpu=0 rss_kib=0
measure() {
    local dir=. stdout=/dev/null
    if [ "$1" = -C ]; then
        dir=$2
        shift 2
    fi
    if [ "$1" = -s ]; then
        stdout=$disk_scratch/.stdout
        shift
    fi
    local user system
    # The clock is inside the timer: the subshell, the cd and the timer's own
    # start are not counted, for the command or for its reference.
    if ! (cd "$dir" && "$bin/marrowvale-timed" "$disk_scratch/.time" "$@" \
        >"$stdout" 2>"$disk_scratch/.err"); then
        note "failed in $dir: $*"
        cat "$disk_scratch/.err" "$disk_scratch/.time" >&2
        exit 1
    fi
    read -r wall user system rss_kib <"$disk_scratch/.time"
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.4f", u + s }')
}

# Empties the page cache, for a cold run; fails where that is not allowed.
drop_caches() {
    sync
    echo 3 >/proc/sys/vm/drop_caches
}
can_drop_caches() { [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ]; }

# require_results DIR COUNT: the run left COUNT non-empty results in DIR.
require_results() {
    local count
    count=$(find "$1" -type f -name '*.json' -size +0 | wc -l)
    ((count == $2)) || die "expected $2 non-empty results, found $count in $1"
}

# System calls of a command under strace -f -c, into FILE: strace_calls FILE CMD...
# (run in the current folder; standard output dropped).
strace_calls() {
    local out=$1
    shift
    strace -f -c -o "$out" "$@" >/dev/null
}
# converted [-p PREP] OUT COUNT DIR ARG...: `$cli convert -q -o OUT ARG...`
# timed in DIR, after OUT is emptied and the command PREP (dropping or filling
# the caches) has run; OUT must then hold COUNT results.
converted() {
    local prep=:
    if [ "$1" = -p ]; then
        prep=$2
        shift 2
    fi
    local out=$1 count=$2 dir=$3
    shift 3
    fresh_dir "$out"
    $prep
    # Each script sets cli to the build's CLI; a case may set pinned to a
    # command the CLI runs under (taskset), split into its words.
    # shellcheck disable=SC2154,SC2086
    measure -C "$dir" ${pinned:-} "$cli" convert -q -o "$out" "$@"
    require_results "$out" "$count"
}
# traced OUT DIR ARG...: the same conversion untimed, into an emptied OUT,
# under strace -f -c; the table goes to $disk_scratch/.strace.
traced() {
    local out=$1 dir=$2
    shift 2
    fresh_dir "$out"
    (cd "$dir" && strace_calls "$disk_scratch/.strace" "$cli" convert -q -o "$out" "$@")
}
# traced_per_file SYSCALL (or "total") COUNT: the calls of the last traced
# run over COUNT files.
traced_per_file() {
    awk -v n="$(calls_of "$disk_scratch/.strace" "$1")" -v d="$2" 'BEGIN { printf "%.2f", n / d }'
}
# calls_of FILE SYSCALL (or "total"): the calls column of strace -c's table.
calls_of() { awk -v name="$2" '$NF == name { print $4; found = 1 } END { if (!found) print 0 }' "$1"; }

# The table. A timed row takes its figures from the arrays conv and ref, one
# entry per round, paired by index:
#   row CASE WHERE REFERENCE UNIT TARGET
# TARGET ("<= 0.6", ">= 1", "" for none) applies to the median ratio.
# An untimed figure (system calls, peak memory, bytes read) has no reference:
#   value CASE WHERE UNIT TARGET V...
# TARGET then applies to the median of V.
conv=() ref=()
row() {
    local case=$1 where=$2 reference=$3 unit=$4 target=$5 i
    ((${#conv[@]} == ${#ref[@]} && ${#conv[@]} > 0)) || die "row '$case': unpaired figures"
    local -a ratio=()
    for ((i = 0; i < ${#conv[@]}; i++)); do
        ratio+=("$(awk -v a="${conv[i]}" -v b="${ref[i]}" 'BEGIN { printf "%.4f", (b > 0 ? a / b : 0) }')")
    done
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$case" "$where" "${#conv[@]}" \
        "$(cell "$unit" "${conv[@]}")" "$reference" "$(cell "$unit" "${ref[@]}")" \
        "$(cell x "${ratio[@]}")" "$(verdict "$target" "${ratio[@]}")" >>"$rows"
    note "$case, $where: $(cell "$unit" "${conv[@]}") against $(cell "$unit" "${ref[@]}")," \
        "ratio $(cell x "${ratio[@]}")"
}
value() {
    local case=$1 where=$2 unit=$3 target=$4
    shift 4
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$case" "$where" "$#" "$(cell "$unit" "$@")" \
        "" "" "" "$(verdict "$target" "$@")" >>"$rows"
    note "$case, $where: $(cell "$unit" "$@")"
}
skip() {
    echo "$1: skipped, $2" >>"$skips"
    note "$1: skipped, $2"
}

# median min max of the arguments
stats() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}
# "median [min–max] UNIT", with as many decimals as the unit needs.
cell() {
    local unit=$1
    shift
    stats "$@" | awk -v unit="$unit" '{
        f = unit == "s" ? "%.3f" : unit == "x" ? "%.2f" : unit == "MiB" || unit ~ /per file/ ? "%.1f" : "%.0f"
        u = unit == "x" ? "×" : unit
        if ($2 == $3) printf f " %s", $1, u
        else printf f " [" f "–" f "] %s", $1, $2, $3, u
    }'
}
verdict() {
    local target=$1
    shift
    [ -n "$target" ] || return 0
    stats "$@" | awk -v t="$target" '{
        split(t, p, " ")
        ok = p[1] == "<=" ? $1 <= p[2] : p[1] == ">=" ? $1 >= p[2] : p[1] == "<" ? $1 < p[2] : $1 > p[2]
        printf "%s %s: %s", p[1] == "<=" ? "≤" : p[1] == ">=" ? "≥" : p[1], p[2], ok ? "met" : "missed"
    }'
}

# Prints the table (Markdown) with its setting, and keeps it under
# bench/runs/<date>-<host>/ when MV_BENCH_RECORD=1.
finish() {
    local title=$1 out=$disk_scratch/.table commit
    commit=$(git -C "$here/.." describe --always --dirty 2>/dev/null || echo unknown)
    {
        echo "### $title"
        echo
        echo "$(date '+%Y-%m-%d %H:%M %Z') on $(hostname -s);" \
            "cpu: $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo), $(nproc) cores;" \
            "load average $load_start at the start, $(cut -d ' ' -f 1-3 /proc/loadavg) at the end"
        echo "commit $commit; \`MV_BENCH_REPEAT=$repeat MV_BENCH_CASES=${MV_BENCH_CASES:-all}" \
            "bench/$me BIN_DIR\`; disk: $disk_type under ${TMPDIR:-/tmp}; tmpfs: /dev/shm"
        echo "Figures: median [min–max] of the runs; the ratio is taken pair by pair."
        echo
        if [ -s "$rows" ]; then
            echo "| case | where | runs | converter | reference | reference's | ratio | target |"
            echo "|---|---|---|---|---|---|---|---|"
            awk -F '\t' '{ printf "| %s | %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5, $6, $7, $8 }' "$rows"
        fi
        if [ -s "$skips" ]; then
            echo
            sed 's/^/- /' "$skips"
        fi
    } >"$out"
    echo
    cat "$out"
    if [ "${MV_BENCH_RECORD:-}" = 1 ]; then
        local run_dir
        run_dir=$here/runs/$(date +%Y-%m-%d)-$(hostname -s)
        mkdir -p "$run_dir"
        cp "$out" "$run_dir/${me%.sh}.md"
        note "recorded in $run_dir/${me%.sh}.md"
    fi
}

# in_turn ROUND STEP...: runs the steps (functions) in this order in even
# rounds and in the reverse order in odd ones.
in_turn() {
    local round=$1 i
    shift
    local -a steps=("$@")
    if ((round % 2 == 0)); then
        for ((i = 0; i < ${#steps[@]}; i++)); do "${steps[i]}"; done
    else
        for ((i = ${#steps[@]} - 1; i >= 0; i--)); do "${steps[i]}"; done
    fi
}
