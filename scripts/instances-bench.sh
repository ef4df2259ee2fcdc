#!/usr/bin/env bash
# What instances of the LV2 form cost a host, beside the Debian peers where they are installed
# (synthv1, Calf Monosynth, mda JX10): bench/instances_bench creates N instances at 48 kHz and
# runs idle 256-frame blocks in real time; then valgrind's callgrind counts the instructions of
# creating the first instance (which repeat exactly on a busy machine, unlike the times).
#
#   scripts/instances-bench.sh [BUILD_DIR] [--instances "1 16 64"] [--idle-seconds S]
#                              [--install-peers] [--no-peers] [--no-callgrind]
#
# Runs in a temporary home, so the first run unpacks the factory bank as a musician's first start
# does; "5,136 presets" is that bank copied sixteen times into the preset folder.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$here/../build"
counts="1 16 64"
idle=10
peers=1
installPeers=0
callgrind=1
while [ $# -gt 0 ]; do
    case "$1" in
        --instances) counts="$2"; shift ;;
        --idle-seconds) idle="$2"; shift ;;
        --install-peers) installPeers=1 ;;
        --no-peers) peers=0 ;;
        --no-callgrind) callgrind=0 ;;
        -*) echo "usage: $0 [BUILD_DIR] [--instances \"1 16 64\"] [--idle-seconds S] [--install-peers] [--no-peers] [--no-callgrind]" >&2; exit 2 ;;
        *) build="$1" ;;
    esac
    shift
done

if [ "$installPeers" = 1 ]; then
    "$here/install-deps.sh" synthv1-lv2 calf-plugins mda-lv2
fi
[ "$callgrind" = 1 ] && "$here/install-deps.sh" valgrind

bench="$build/bench/instances_bench"
ours="$build/VroDrubbel_artefacts/Release/LV2"
if [ ! -x "$bench" ] || [ ! -d "$ours/VRO Drubbel.lv2" ]; then
    cmake --build "$build" -j2 --target instances_bench VroDrubbel_LV2
fi
uri="https://velmora.example.com/plugins/vro-drubbel"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$XDG_CONFIG_HOME"
# synthv1 starts Qt even without a window.
export QT_QPA_PLATFORM=offscreen

# Prints instances_bench's figures for one plug-in and count.
run() {
    local path="$1" plugin="$2" n="$3"
    LV2_PATH="$path" "$bench" "$plugin" --instances "$n" --idle-seconds "$idle" 2>"$work/log" \
        || { cat "$work/log" >&2; echo "failed"; }
}
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p; s/^$1=\([^ ]*\).*/\1/p" <<<"$2" | head -1; }

declare -A figures
names=("VRO Drubbel")
paths=("$ours")
uris=("$uri")
if [ "$peers" = 1 ]; then
    for peer in "synthv1|http://synthv1.sourceforge.net/lv2" \
                "Calf Monosynth|http://calf.sourceforge.net/plugins/Monosynth" \
                "mda JX10|http://drobilla.net/plugins/mda/JX10"; do
        if LV2_PATH=/usr/lib/lv2 lv2info "${peer#*|}" >/dev/null 2>&1; then
            names+=("${peer%|*}"); paths+=("/usr/lib/lv2"); uris+=("${peer#*|}")
        else
            echo "(${peer%|*} is not installed: --install-peers installs it)" >&2
        fi
    done
fi

# Our first run unpacks the bank; every later run finds it.
firstRun="$(run "$ours" "$uri" 1)"
for i in "${!names[@]}"; do
    for n in $counts; do
        echo "  ${names[$i]}, $n instances ..." >&2
        figures["$i,$n"]="$(run "${paths[$i]}" "${uris[$i]}" "$n")"
    done
done

presets="$XDG_CONFIG_HOME/Velmora/VRO-Drubbel/presets"
large="$work/large"
mkdir -p "$large"
for copy in $(seq 1 16); do
    mkdir -p "$large/Copy $copy"
    cp -r "$presets"/. "$large/Copy $copy/"
    rm -f "$large/Copy $copy/Default.drubbel"
done
mv "$presets" "$work/bank" && mv "$large" "$presets"
echo "  VRO Drubbel, $(find "$presets" -name '*.drubbel' | wc -l) presets ..." >&2
largeRun="$(run "$ours" "$uri" 1)"
rm -rf "$presets" && mv "$work/bank" "$presets"

row() {
    local label="$1" key="$2" n="$3"
    printf '| %s |' "$label"
    for i in "${!names[@]}"; do
        printf ' %s |' "$(field "$key" "${figures["$i,$n"]}")"
    done
    echo
}

echo
echo "48 kHz, 256-frame blocks, ${idle} s idle per run"
for n in $counts; do
    echo
    printf '| %d instances |' "$n"; printf ' %s |' "${names[@]}"; echo
    printf '| --- |'; for _ in "${names[@]}"; do printf ' --- |'; done; echo
    row "CPU of the plug-in's threads while idle, ms per second per instance" background_ms "$n"
    row "first instance, ms" first_ms "$n"
    [ "$n" -gt 1 ] && row "each further instance, ms (mean)" further_ms "$n"
    [ "$n" -gt 1 ] && row "each further instance, ms (max)" further_max_ms "$n"
    row "idle block on the host's thread, us (median)" block_us "$n"
    row "the plug-in's threads" threads "$n"
done
echo
echo "VRO Drubbel, first instance on a first run (unpacks the bank): $(field first_ms "$firstRun") ms"
echo "VRO Drubbel, first instance with 5,136 presets: $(field first_ms "$largeRun") ms"

if [ "$callgrind" = 1 ]; then
    # Instructions inside lilv_plugin_instantiate on the creating thread (the library's load included).
    count() {
        LV2_PATH="$ours" valgrind --tool=callgrind --callgrind-out-file="$work/cg" --collect-atstart=no \
            --toggle-collect=lilv_plugin_instantiate "$bench" "$uri" --first-only >/dev/null 2>"$work/log" \
            || { cat "$work/log" >&2; echo failed; return; }
        awk '/^(totals|summary):/ { printf "%.3f G", $2 / 1e9; exit }' "$work/cg"
    }
    echo "VRO Drubbel, callgrind instructions of the first instance, bank unpacked: $(count)"
    rm -rf "$XDG_CONFIG_HOME/Velmora"
    echo "VRO Drubbel, callgrind instructions of the first instance, first run: $(count)"
fi
