#!/usr/bin/env bash
# Configures and builds everything (plug-ins, tools, tests) into build/. VRO_WERROR=ON makes warnings
# in our own code errors, as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVRO_WERROR="${VRO_WERROR:-OFF}"
cmake --build build -j"$jobs" "$@"
