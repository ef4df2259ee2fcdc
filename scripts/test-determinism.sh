#!/usr/bin/env bash
# The pinned renders (tests/engine/PinnedSoundTests.cpp) give their checksums on whatever path this
# machine could take: the filter without vector lanes (the 32-bit Windows build's arithmetic), a host
# that left flush-to-zero, denormals-are-zero or another rounding mode on before the first block,
# and the C library's code for processors without AVX and FMA. The Windows library's renders are
# compared bit for bit with the Linux library's in scripts/test-windows.sh.
#   scripts/test-determinism.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=$(nproc 2>/dev/null || echo 2)
scripts/install-deps.sh >/dev/null

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs" --target engine_tests >/dev/null
# The lanes are chosen when the engine is compiled: a second, engine-only build.
cmake -S . -B "$build-lanes0" -DCMAKE_BUILD_TYPE=Release -DVRO_BUILD_PLUGIN=OFF -DCMAKE_CXX_FLAGS=-DVRO_LADDER_LANES=0 >/dev/null
cmake --build "$build-lanes0" -j"$jobs" --target engine_tests >/dev/null

status=0
run()
{
    local what=$1 tests=$2
    shift 2
    if env "$@" "$tests" --gtest_filter='PinnedSound.*:ExactMath.Tables*' >"$build/determinism.log" 2>&1; then
        echo "ok   pinned renders and tables: $what"
    else
        echo "FAIL pinned renders and tables: $what"
        grep -E 'Failure|ull|mismatches|FAILED' "$build/determinism.log" || true
        status=1
    fi
}
run "filter without vector lanes" "$build-lanes0/tests/engine_tests"
run "host flush-to-zero and denormals-are-zero" "$build/tests/engine_tests" VRO_TEST_HOST_MXCSR=9fc0
run "host flush-to-zero, denormals-are-zero, rounding towards zero" "$build/tests/engine_tests" VRO_TEST_HOST_MXCSR=ffc0
run "C library without AVX and FMA" "$build/tests/engine_tests" GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-FMA4,-AVX
run "no lanes and no AVX or FMA in the C library" "$build-lanes0/tests/engine_tests" GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA,-FMA4,-AVX
exit $status
