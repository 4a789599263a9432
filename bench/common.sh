# Shared start of the whole-program benchmark scripts; sourced, not run.
#
#   bench_start "$@" TOOL...   checks the BIN_DIR argument and that each TOOL
#                              (a program name in it) is built; sets bin,
#                              repeat, and a scratch folder removed at exit.

me=$(basename "$0")

die() {
    echo "$me: $*" >&2
    exit 2
}
note() { echo "$me: $*" >&2; }

bench_start() {
    local count=$1
    shift
    [ "$count" -eq 1 ] || die "usage: $me BIN_DIR"
    bin=$(cd "$1" 2>/dev/null && pwd) || die "no such folder: $1"
    shift
    local tool
    for tool in "$@"; do
        [ -x "$bin/$tool" ] || die "$bin/$tool is missing; build first (make build)"
    done
    repeat=${MV_BENCH_REPEAT:-3}
    [[ $repeat =~ ^[1-9][0-9]*$ ]] || die "MV_BENCH_REPEAT must be a positive number"
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/$me.XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
    trap 'exit 130' INT TERM
}
