#!/bin/sh
# The Standalone application's audio output: with a JACK server running and chosen in the device
# setup it plays through JACK (its output ports appear on the server) under its plain title; with
# no output it could open, its title says so.
# Usage: standalone-jack.sh <Standalone executable>
set -eu
app=$1

if [ -z "${VRO_JACK_INNER:-}" ]; then
    # Own display, own home and a private JACK server name, so nothing of the user's is touched.
    home=$(mktemp -d)
    trap 'rm -rf "$home"' EXIT
    HOME=$home XDG_CONFIG_HOME=$home/.config JACK_DEFAULT_SERVER=vro-test-$$ VRO_JACK_INNER=1 \
        xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" "$0" "$@"
    exit $?
fi

settings="$HOME/.config/VRO Drubbel.settings"
mkdir -p "$HOME/.config"
pids=""
trap 'for p in $pids; do kill $p 2>/dev/null || true; done' EXIT

# Starts the application with the given device setup; sets app_pid and its window's title.
run_with() {
    cat >"$settings" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES>
  <VALUE name="audioSetup">
    <DEVICESETUP deviceType="$1" audioOutputDeviceName="$2" audioInputDeviceName=""
                 audioDeviceRate="48000.0" audioDeviceBufferSize="256"/>
  </VALUE>
</PROPERTIES>
XML
    "$app" >>"$HOME/standalone.log" 2>&1 </dev/null &
    app_pid=$!
    pids="$pids $app_pid"
    window=$(timeout 30 xdotool search --sync --onlyvisible --name "VRO Drubbel" | head -n 1)
    # The device is opened before the window shows; give its change message time to arrive.
    sleep 1
    title=$(xdotool getwindowname "$window")
}

stop_app() {
    kill -INT "$app_pid"
    wait "$app_pid" || true
}

# No sound card and no JACK server: nothing to play through. (A machine with a sound card falls
# back to it, so this half runs only where there is none.)
if ls /dev/snd/pcm*p >/dev/null 2>&1; then
    echo "this machine has a sound card: the no-output title is not checked"
else
    run_with ALSA "No Such Card"
    stop_app
    echo "without an output: $title"
    case "$title" in
        *"no audio output"*) ;;
        *) echo "the title does not say that no output could be opened"; exit 1 ;;
    esac
fi

# A JACK server with the dummy back-end: the application becomes its client.
jackd -n "$JACK_DEFAULT_SERVER" -r -d dummy -r 48000 -p 256 >"$HOME/jackd.log" 2>&1 &
jack_pid=$!
pids="$pids $jack_pid"
for _ in $(seq 50); do
    jack_lsp >/dev/null 2>&1 && break
    sleep 0.2
done

run_with JACK system
ports=""
for _ in $(seq 25); do
    ports=$(jack_lsp | grep '^VRO Drubbel:' || true)
    [ -n "$ports" ] && break
    sleep 0.2
done
stop_app
echo "with JACK: $title; ports:" $ports
[ -n "$ports" ] || { echo "no output ports on the JACK server"; cat "$HOME/standalone.log"; exit 1; }
[ "$title" = "VRO Drubbel" ] || { echo "the title should be plain while JACK plays"; exit 1; }
echo "plays through JACK; says so when there is no output"
