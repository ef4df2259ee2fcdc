#!/usr/bin/env bash
# Renders the editor with the snapshot test (under Xvfb when there is no display) and copies the
# light skin to docs/editor.png, the picture at the top of the README.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j"$(nproc)" --target editor_tests
run=("$build/editor_tests" --gtest_filter='EditorArtwork.SnapshotsOfBothSkins')
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}"
else
    "${run[@]}"
fi
mkdir -p docs
cp "$build/editor-snapshots/editor-light.png" docs/editor.png
echo "Wrote docs/editor.png"
