#!/usr/bin/env bash
# Validates the built VST3 with pluginval at strictness level 10, in a shuffled test order and on
# a new random seed in each of several rounds, so a run sees what one fixed seed hides. pluginval
# prints the seed; PLUGINVAL_SEED=<seed> replays a run, PLUGINVAL_REPEAT sets the rounds (3).
#
#   scripts/pluginval.sh [BUILD_DIR]      (default: build)
#
# pluginval's sources lie beside the clone, in ../shared/pluginval (read-only); it is a test tool,
# not part of the product, so it is built outside the project's tree (PLUGINVAL_BUILD, default a
# folder under /tmp named after the sources' path: CMake refuses a cache made from other sources,
# and clones in different places may share one /tmp). The plug-in runs with a temporary home, so
# its first start installs its factory presets there and not into the real user's folders.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
source=$(cd "${PLUGINVAL_SOURCE:-$root/../shared/pluginval}" && pwd -P)
out=${PLUGINVAL_BUILD:-${TMPDIR:-/tmp}/vro-pluginval-$(printf %s "$source" | md5sum | cut -c1-12)}
vst3="$build/VroDrubbel_artefacts/Release/VST3/VRO Drubbel.vst3"

if [ ! -d "$vst3" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j"$(nproc)" --target VroDrubbel_VST3
fi

start=$(date +%s)
binary=$(bash "$source/build.sh" "$out" | tail -n 1)
echo "pluginval built in $(($(date +%s) - start)) s: $binary"

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
seed=()
[ -n "${PLUGINVAL_SEED:-}" ] && seed=(--random-seed "$PLUGINVAL_SEED")
HOME="$home" XDG_CONFIG_HOME="$home/.config" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$binary" --strictness-level 10 --validate-in-process --skip-gui-tests \
    --randomise --repeat "${PLUGINVAL_REPEAT:-3}" "${seed[@]}" --validate "$vst3"
