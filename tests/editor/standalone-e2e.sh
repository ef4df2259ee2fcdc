#!/bin/sh
# End-to-end check of the Standalone application: start it on a private X display, click the maker
# logo (the skin switch), and compare screenshots taken before and after.
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

"$app" >"$out/standalone.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

window=$(timeout 30 xdotool search --sync --onlyvisible --name "VRO Drubbel" | head -n 1)
sleep 2
eval "$(xdotool getwindowgeometry --shell "$window")"
# The editor fills the bottom of the window; a notice bar may sit above it.
left=$((X + (WIDTH - 1062) / 2))
top=$((Y + HEIGHT - 517))

pixel() { convert "$1" -crop "1x1+$2+$3" -format '%[fx:int(255*luminance)]' info:; }

import -window root "$out/standalone-before.png"
before=$(pixel "$out/standalone-before.png" $((left + 500)) $((top + 505)))

xdotool mousemove $((left + 50)) $((top + 20)) click 1
sleep 1
import -window root "$out/standalone-after.png"
after=$(pixel "$out/standalone-after.png" $((left + 500)) $((top + 505)))

echo "panel brightness before $before, after the logo click $after"
kill $pid
wait $pid 2>/dev/null || true
trap - EXIT
# Light panel first, dark after the click.
[ "$before" -gt 150 ] && [ "$after" -lt 100 ]
