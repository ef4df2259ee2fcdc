#!/bin/sh
# Fuzzes the state chunk and preset file readers for a bounded time.
#
#   scripts/fuzz.sh [SECONDS] [BUILD_DIR]      (defaults: 300 seconds, build-sanitize)
#
# Built in the sanitizer tree (scripts/sanitizer-tree.sh, shared with scripts/sanitize.sh), with
# clang and libFuzzer (Debian: clang libclang-rt-14-dev, installed there when missing). Inputs
# that crash, trip a sanitizer, hang or break an invariant are written to fuzz/regressions/, where
# the core test StateHostile.FuzzerFindingsStayFixed replays them from then on: fix the fault, keep
# the file.
set -eu

seconds=${1:-300}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-sanitize}

"$root/scripts/sanitizer-tree.sh" "$build"
cmake --build "$build" --target document_fuzzer -j2

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp "$root"/fuzz/seeds/* "$corpus"/

# -rss_limit_mb: one input may hold a 16 MB document; -timeout: a hang is a finding too, and so is
# work that grows faster than the input: inputs go up to 1 MB from the start (-len_control=0),
# where a quadratic reader takes far longer than the timeout.
"$build/document_fuzzer" "$corpus" \
    -dict="$root/fuzz/document.dict" \
    -max_total_time="$seconds" \
    -timeout=10 \
    -rss_limit_mb=4096 \
    -max_len=1048576 \
    -len_control=0 \
    -print_final_stats=1 \
    -artifact_prefix="$root/fuzz/regressions/"
