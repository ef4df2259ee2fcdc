#!/usr/bin/env bash
# Builds the engine and core tests with AddressSanitizer and UndefinedBehaviorSanitizer into the
# sanitizer tree (scripts/sanitizer-tree.sh, shared with the fuzzer) and runs them.
#
#   scripts/sanitize.sh [BUILD_DIR]      (default: build-sanitize)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-sanitize}

"$root/scripts/sanitizer-tree.sh" "$build"
# The framework keeps a few singletons until exit on purpose; leaks are not what this run looks
# for. Set before the build, which lists the tests by running the programs.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake --build "$build" -j"$(nproc)" --target engine_tests core_tests

cd "$build"
ctest --output-on-failure -j"$(nproc)" -L '^(engine|core)$'
