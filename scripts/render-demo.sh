#!/usr/bin/env bash
# Renders the demo phrase with programs of the embedded factory bank into one WAV file.
# The factory bank is unpacked into the user's preset folder on first use, as the plug-in does.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-demo.wav}
render=build/drubbel-render
presets="${XDG_CONFIG_HOME:-$HOME/.config}/Velmora/VRO-Drubbel/presets"

args=()
# Running the renderer once installs the factory presets when the folder is missing.
"$render" --midi resources/demo/demo.mid --out "$out" --tail 0.5 >/dev/null
if [ -d "$presets" ]; then
    preset=$(find "$presets" -name '*.drubbel' ! -name 'Default.drubbel' | sort | head -n 1)
    [ -n "$preset" ] && args=(--preset "$preset")
fi
"$render" --midi resources/demo/demo.mid --out "$out" --tail 1.5 "${args[@]}"
echo "Rendered $out${args:+ with ${args[1]}}"
