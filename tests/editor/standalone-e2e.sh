#!/bin/sh
# End-to-end check of the Standalone application: start it on a private X display with a device
# setup saved by an earlier run, check that the window is the editor under a plain title bar,
# click the maker logo (the skin switch) and compare screenshots taken before and after, then quit
# and check that the device setup is still saved for the next start.
# Usage: standalone-e2e.sh <Standalone executable> <folder for the screenshots>
set -eu
app=$1
out=$2
mkdir -p "$out"

if [ -z "${VRO_E2E_INNER:-}" ]; then
    # Own display and own home, so no user settings are read or written.
    home=$(mktemp -d)
    trap 'rm -rf "$home"' EXIT
    HOME=$home XDG_CONFIG_HOME=$home/.config VRO_E2E_INNER=1 \
        xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$0" "$@"
    exit $?
fi

# Devices chosen in an earlier run: an output that this machine lacks and a MIDI keyboard.
settings="$HOME/.config/VRO Drubbel.settings"
mkdir -p "$HOME/.config"
cat >"$settings" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES>
  <VALUE name="audioSetup">
    <DEVICESETUP deviceType="ALSA" audioOutputDeviceName="E2E Sound Card" audioInputDeviceName=""
                 audioDeviceRate="48000.0" audioDeviceBufferSize="256">
      <MIDIINPUT name="E2E Keyboard" identifier="e2e-keyboard"/>
    </DEVICESETUP>
  </VALUE>
</PROPERTIES>
XML

"$app" >"$out/standalone.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

window=$(timeout 30 xdotool search --sync --onlyvisible --name "VRO Drubbel" | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
# The editor fills the bottom of the window under the title bar (26 pixels). An instrument offers
# no audio input, so no "input is muted" notice bar (30 pixels) may sit between them.
frame=$((WIDTH - 1062))
above=$((HEIGHT - 517 - frame))
left=$((X + frame / 2))
top=$((Y + HEIGHT - 517 - frame / 2))
import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" "$out/standalone-start.png"
if [ "$above" -ge 30 ]; then
    echo "$above pixels above the editor: a notice bar is shown"
    exit 1
fi

# Brightness of the panel's bottom margin in a fresh screenshot.
panel() {
    import -window root "$out/$1"
    convert "$out/$1" -crop "1x1+$((left + 500))+$((top + 505))" -format '%[fx:int(255*luminance)]' info:
}

# Waits (up to 20 s) until the panel brightness passes the test in $2.
wait_for() {
    for _ in $(seq 40); do
        value=$(panel "$1")
        if [ "$value" "$2" "$3" ]; then
            echo "$value"
            return 0
        fi
        sleep 0.5
    done
    echo "$value"
    return 1
}

before=$(wait_for standalone-before.png -gt 150) || { echo "light panel never shown ($before)"; exit 1; }
xdotool mousemove $((left + 50)) $((top + 20)) click 1
after=$(wait_for standalone-after.png -lt 100) || { echo "logo click did not switch to the dark skin ($after)"; exit 1; }
echo "panel brightness before $before, after the logo click $after; $above pixels above the editor"

# Ctrl-C quits the application the orderly way, which saves its settings.
kill -INT $pid
for _ in $(seq 100); do
    kill -0 $pid 2>/dev/null || break
    sleep 0.2
done
if kill -0 $pid 2>/dev/null; then
    echo "the application did not quit"
    exit 1
fi
wait $pid || { echo "the application failed on quitting"; exit 1; }
trap - EXIT

cp "$settings" "$out/standalone.settings"
for expected in 'audioOutputDeviceName="E2E Sound Card"' 'MIDIINPUT name="E2E Keyboard"'; do
    grep -q "$expected" "$settings" || { echo "the settings lost $expected"; exit 1; }
done
echo "device setup kept for the next start"
