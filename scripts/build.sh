#!/usr/bin/env bash
# Configures and builds everything (plug-ins, tools, tests) into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs" "$@"
