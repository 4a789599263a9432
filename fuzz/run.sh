#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for FUZZ_SECONDS
# (default 60). Fails on any crash, leak, timeout or memory blow-up; the
# input that caused it is left in build-fuzz/artifacts/.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"

CXX=clang++ cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

# Seeds: the sample files and the XML of the engine's tests for the
# conversion; our seed scripts and the JSON of the json tests for the reader.
seed_json="$build/corpus/json_reader"
seed_xml="$build/corpus/conversion"
mkdir -p "$seed_json" "$seed_xml" "$build/artifacts"
cp "$root"/fuzz/seeds/json/* "$seed_json"/
cp "$root"/resources/Samples/* "$seed_xml"/
# Each string literal of the tests that looks like XML or JSON becomes a seed.
extract() {  # extract PATTERN DIR FILES...
    local pattern="$1" dir="$2"
    shift 2
    grep -ohE 'u?"([^"\\]|\\.)*"' "$@" | sed -E 's/^u?"//; s/"$//' | { grep -E "$pattern" || true; } |
        while IFS= read -r literal; do
            printf '%b' "$literal" >"$dir/test-$(printf '%s' "$literal" | md5sum | cut -c1-12)"
        done
}
extract '<' "$seed_xml" "$root"/tests/engine/*.cpp
extract '^[[{(/ ]' "$seed_json" "$root"/tests/json/*.cpp

run() {  # run HARNESS CORPUS [options]
    local harness="$1" corpus="$2"
    shift 2
    echo "== $harness for ${seconds}s"
    "$build/$harness" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/artifacts/$harness-" "$@"
}
run fuzz_json_reader "$seed_json" -dict="$root/fuzz/json.dict"
run fuzz_conversion "$seed_xml" -dict="$root/fuzz/xml.dict"
run fuzz_fast_equality "$seed_xml" -dict="$root/fuzz/xml.dict"
echo "fuzz: no crash, leak or hang"
