#!/usr/bin/env bash
# The heavy tier, after scripts/test.sh (it uses that build's plug-ins): the pinned renders on every
# arithmetic path, the Windows libraries under Wine, the engine and core tests under the sanitizers,
# the document readers under libFuzzer, the VST3 through pluginval and the Debian package installed
# and removed (as root, or through sudo). Every step runs; the summary names the ones that failed.
#   scripts/test-heavy.sh [FUZZ_SECONDS]      (default: 60)
set -uo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${1:-60}

failed=()
step()
{
    local what=$1
    shift
    local start=$SECONDS
    echo "==== $what"
    if "$@"; then
        echo "==== $what: passed in $((SECONDS - start)) s"
    else
        echo "==== $what: FAILED after $((SECONDS - start)) s"
        failed+=("$what")
    fi
}

# The pinned renders without vector lanes, under the host's denormal and rounding modes and the C
# library's non-FMA code.
step "determinism" scripts/test-determinism.sh
# The Windows DLLs, cross-built and driven under Wine; their renders bit for bit as the Linux library's.
step "Windows under Wine" scripts/test-windows.sh
# The engine and core tests under AddressSanitizer and UndefinedBehaviorSanitizer.
step "AddressSanitizer and UndefinedBehaviorSanitizer" scripts/sanitize.sh
# The tests whose threads meet, under ThreadSanitizer.
step "ThreadSanitizer" scripts/tsan.sh
# The document readers under libFuzzer, inputs up to 1 MB, in the sanitizer tree built above.
step "fuzzing" scripts/fuzz.sh "$fuzz_seconds"
# The VST3 through pluginval at strictness level 10.
step "pluginval" scripts/pluginval.sh
# The Debian package: lintian, its file list, then installed, used from /usr and removed again.
step "Debian package" tests/package/deb-check.sh

if [ ${#failed[@]} -gt 0 ]; then
    printf 'Heavy tier: %d of 7 steps failed: %s\n' ${#failed[@]} "$(IFS=,; echo "${failed[*]}" | sed 's/,/, /g')"
    exit 1
fi
echo "Heavy tier: all 7 steps passed"
