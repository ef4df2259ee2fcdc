#!/usr/bin/env bash
# Builds the engine and core tests with AddressSanitizer and UndefinedBehaviorSanitizer into their
# own folder and runs them.
#
#   scripts/sanitize.sh [BUILD_DIR]      (default: build-asan)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-asan}

flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g1"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
# The framework keeps a few singletons until exit on purpose; leaks are not what this run looks
# for. Set before the build, which lists the tests by running the programs.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake --build "$build" -j"$(nproc)" --target engine_tests core_tests

cd "$build"
ctest --output-on-failure -j"$(nproc)" -L '^(engine|core)$'
