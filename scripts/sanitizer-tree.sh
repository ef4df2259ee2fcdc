#!/usr/bin/env bash
# Configures the sanitizer tree that scripts/sanitize.sh and scripts/fuzz.sh share: everything, the
# framework and the engine included, compiled once by clang with AddressSanitizer,
# UndefinedBehaviorSanitizer and libFuzzer's coverage hooks (-fsanitize=fuzzer-no-link). The test
# programs link the sanitizers alone (their runtime answers the coverage hooks); only the fuzzer
# links libFuzzer.
#   scripts/sanitizer-tree.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev >/dev/null

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g1"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVRO_BUILD_FUZZER=ON \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
