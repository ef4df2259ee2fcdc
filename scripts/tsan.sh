#!/usr/bin/env bash
# Builds the core tests with ThreadSanitizer (clang) into their own folder, the framework and the
# engine instrumented too, and runs the tests whose threads meet: the notifier, processors made and
# deleted off the message thread, host restores, program changes, learned controllers and every
# test of the Threads suite, and the preset library, whose scanner is a thread of its own. Any report
# fails the run.
#
#   scripts/tsan.sh [BUILD_DIR]      (default: build-tsan)
#
# TSAN_OPTIONS from the environment come after ours: TSAN_OPTIONS=halt_on_error=0 lists every race
# of a test instead of stopping at the first. VRO_TSAN_TESTS replaces the selection (a ctest -R
# regular expression).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-tsan}

# ThreadSanitizer's runtime (LLVM 14) expects the address layout of a kernel with little mmap
# randomisation; with more it stops with "unexpected memory mapping". Randomisation is switched off
# for this script and everything it starts (the build lists the tests by running them), where the
# kernel lets a process do that.
if [ -z "${VRO_TSAN_NO_ASLR:-}" ]; then
    export VRO_TSAN_NO_ASLR=1
    if setarch "$(uname -m)" -R true 2>/dev/null; then
        exec setarch "$(uname -m)" -R "$0" "$@"
    fi
    # Where a container forbids that, the randomisation itself is lowered (as root) to what the
    # runtime supports.
    bits=$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)
    if [ "$bits" -gt 28 ]; then
        sysctl -qw vm.mmap_rnd_bits=28 2>/dev/null || echo "tsan.sh: mmap randomisation is $bits bits and cannot be lowered" >&2
    fi
fi

"$root/scripts/install-deps.sh" clang libclang-rt-14-dev >/dev/null

flags="-fsanitize=thread -fno-omit-frame-pointer -g1"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
# exitcode: a report fails the test even when the test itself passed. Set before the build, which
# lists the tests by running the program.
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:history_size=4${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
cmake --build "$build" -j"$(nproc)" --target core_tests

cd "$build"
ctest --output-on-failure -j"$(nproc)" -L '^core$' \
    -R "${VRO_TSAN_TESTS:-^(Notifier|Lifecycle|HostRestore|ProgramChange|Learn|Threads|PresetLibrary)\\.}"
