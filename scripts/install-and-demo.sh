#!/usr/bin/env bash
# The main job: installs the build dependencies, builds the plug-ins and tools, installs the
# plug-ins into ~/.vst, ~/.vst3 and ~/.lv2 with the factory bank as the hosts' own presets (an LV2
# preset bundle, and VST3 presets in ~/.vst3/presets), and renders a short demo from the factory
# bank to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh --target VroDrubbel_VST VroDrubbel_VST3 VroDrubbel_LV2 VroDrubbel_Standalone VroDrubbel_HostPresets drubbel-render

artefacts=build/VroDrubbel_artefacts/Release
mkdir -p ~/.vst ~/.vst3 ~/.lv2
cp -f "$artefacts/VST/libVRO Drubbel.so" ~/.vst/
vst3presets=~/.vst3/presets/VRO-Velmora/"VRO Drubbel"
rm -rf ~/.vst3/"VRO Drubbel.vst3" ~/.lv2/"VRO Drubbel.lv2" ~/.lv2/"VRO Drubbel Presets.lv2"
cp -R "$artefacts/VST3/VRO Drubbel.vst3" ~/.vst3/
cp -R "$artefacts/LV2/VRO Drubbel.lv2" "$artefacts/LV2/VRO Drubbel Presets.lv2" ~/.lv2/
# Hosts save the user's own VST3 presets into the same folder: the factory files are written over,
# nothing else there is touched.
mkdir -p "$vst3presets"
cp -f "$artefacts/VST3 Presets/VRO-Velmora/VRO Drubbel/"*.vstpreset "$vst3presets/"
echo "Installed: ~/.vst/libVRO Drubbel.so, ~/.vst3/VRO Drubbel.vst3, ~/.lv2/VRO Drubbel.lv2,"
echo "           ~/.lv2/VRO Drubbel Presets.lv2, $(ls "$artefacts/VST3 Presets/VRO-Velmora/VRO Drubbel" | wc -l) presets in $vst3presets"

scripts/render-demo.sh demo.wav
