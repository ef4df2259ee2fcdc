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
eval "$(xdotool getwindowgeometry --shell "$window")"
# The editor fills the bottom of the window; a title and a notice bar may sit above it.
left=$((X + (WIDTH - 1062) / 2))
top=$((Y + HEIGHT - 517))

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
echo "panel brightness before $before, after the logo click $after"
