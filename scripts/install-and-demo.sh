#!/usr/bin/env bash
# The main job: installs the build dependencies, builds the plug-ins and tools, installs the
# plug-ins into ~/.vst, ~/.vst3 and ~/.lv2, and renders a short demo from the factory bank to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh --target VroDrubbel_VST VroDrubbel_VST3 VroDrubbel_LV2 VroDrubbel_Standalone drubbel-render

artefacts=build/VroDrubbel_artefacts/Release
mkdir -p ~/.vst ~/.vst3 ~/.lv2
cp -f "$artefacts/VST/libVRO Drubbel.so" ~/.vst/
rm -rf ~/.vst3/"VRO Drubbel.vst3" ~/.lv2/"VRO Drubbel.lv2"
cp -R "$artefacts/VST3/VRO Drubbel.vst3" ~/.vst3/
cp -R "$artefacts/LV2/VRO Drubbel.lv2" ~/.lv2/
echo "Installed: ~/.vst/libVRO Drubbel.so, ~/.vst3/VRO Drubbel.vst3, ~/.lv2/VRO Drubbel.lv2"

scripts/render-demo.sh demo.wav
