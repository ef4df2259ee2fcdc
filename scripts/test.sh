#!/usr/bin/env bash
# Builds everything and runs the whole test suite (editor tests under Xvfb when no display exists).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
VRO_WERROR=ON scripts/build.sh
cd build
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j2
else
    ctest --output-on-failure -j2
fi
