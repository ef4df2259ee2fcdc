#!/usr/bin/env bash
# The fast tier: builds only the engine and core tests (in build/, shared with scripts/test.sh) and
# runs them; a few minutes once the framework is compiled. The whole suite is scripts/test.sh, the
# heavy checks scripts/test-heavy.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVRO_WERROR=ON >/dev/null
cmake --build build -j"$jobs" --target engine_tests core_tests
cd build
ctest --output-on-failure -j"$jobs" -L '^(engine|core)$'
