#!/bin/sh
# The Standalone application on JACK: with a JACK server running and chosen in the device setup it
# plays through JACK (its output ports appear on the server) under its plain title; with no output
# it could open, its title says so. On JACK it has a MIDI input and output of its own: notes sent
# into the input sound, the arpeggiator's notes come out of the output, and the ports' connections
# are made again at the next start.
# Usage: standalone-jack.sh <Standalone executable> <jack-midi-probe executable>
set -eu
app=$1
probe=$2

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

# One preset in the folder, an arpeggio at its own tempo: program change 0 chooses it.
presets="$HOME/.config/Velmora/VRO-Drubbel/presets"
mkdir -p "$presets"
cat >"$presets/Arp.drubbel" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<vro curprogram="0" version="1.3">
  <programs><program programname="Arp" category="" sawvolume="1" filtercutoff="0.6" adsrsustain="1"
                     arpenabled="1" arpseqsyncenabled="0" arpseqtempo="0.5"/></programs>
</vro>
XML

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
    start_app
}

# Starts the application with the settings it has.
start_app() {
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

# A JACK server with the dummy back-end: the application becomes its client. A long period leaves
# a busy machine fewer late cycles.
jackd -n "$JACK_DEFAULT_SERVER" -r -d dummy -r 48000 -p 1024 >"$HOME/jackd.log" 2>&1 &
jack_pid=$!
pids="$pids $jack_pid"
for _ in $(seq 50); do
    jack_lsp >/dev/null 2>&1 && break
    sleep 0.2
done

run_with JACK system
# Waits (up to 5 s) until jack_lsp lists a port named $1; prints the ports it lists.
wait_port() {
    for _ in $(seq 25); do
        jack_lsp | grep -Fx "$1" >/dev/null && break
        sleep 0.2
    done
    jack_lsp | grep '^VRO Drubbel' || true
}
ports=$(wait_port "VRO Drubbel:out_2")
echo "with JACK: $title; ports:" $ports
case "$ports" in
    *"VRO Drubbel:out_1"*) ;;
    *) echo "no output ports on the JACK server"; cat "$HOME/standalone.log"; exit 1 ;;
esac
[ "$title" = "VRO Drubbel" ] || { echo "the title should be plain while JACK plays"; exit 1; }
midi_in="VRO Drubbel MIDI:midi_in"
midi_out="VRO Drubbel MIDI:midi_out"
ports=$(wait_port "$midi_out")
for port in "$midi_in" "$midi_out"; do
    printf '%s\n' "$ports" | grep -Fx "$port" >/dev/null || { echo "no MIDI port $port"; exit 1; }
    jack_lsp -t "$port" | grep -q midi || { echo "$port is not a MIDI port"; exit 1; }
done

# Program change 0 (the arpeggio) unless $1 is --no-program, a held chord, and the sound and the
# MIDI that come back; fails unless the chord sounds and at least $2 and at most $3 notes come out.
# The arpeggio starts with the chord and keeps its pace: its notes come back a whole number of
# periods after the chord (each way an event keeps its place in the period) and evenly spaced,
# unless a cycle came late (an xrun, on a busy machine), after which timing says nothing.
play_chord() {
    heard=$("$probe" $1 "$midi_in" "$midi_out" "VRO Drubbel:out_1" "VRO Drubbel:out_2")
    echo "$heard" | tr '\n' ' '; echo
    value() { printf '%s\n' "$heard" | sed -n "s/^$1 //p"; }
    awk -v before="$(value peak-before)" -v during="$(value peak-during)" -v notes="$(value notes-out)" \
        -v latency="$(value latency)" -v period="$(value period)" -v spread="$(value spread)" \
        -v xruns="$(value xruns)" -v least="$2" -v most="$3" 'BEGIN {
        if (before > 0.001) { print "sound before any note was played"; exit 1 }
        if (during < 0.01) { print "the notes sent into the MIDI input did not sound"; exit 1 }
        if (notes < least || notes > most) { print notes " notes came out of the MIDI output"; exit 1 }
        if (notes >= 2 && xruns == 0 && (latency < 0 || latency > 4 * period || latency % period != 0 || spread > 2)) {
            print "the MIDI did not keep its timing"; exit 1
        }
    }'
}
play_chord "" 2 100

# A keyboard's port connected to the MIDI input is connected again at the next start.
jack_midiseq keyboard 48000 0 60 100 >"$HOME/midiseq.log" 2>&1 &
keyboard_pid=$!
pids="$pids $keyboard_pid"
wait_port "keyboard:out" >/dev/null
jack_connect "keyboard:out" "$midi_in"
stop_app
start_app
wait_port "$midi_in" >/dev/null
connected=""
for _ in $(seq 25); do
    connected=$(jack_lsp -c "$midi_in" | sed -n 's/^ *//; 2p')
    [ -n "$connected" ] && break
    sleep 0.2
done
[ "$connected" = "keyboard:out" ] || { echo "the MIDI input's connection was not made again: '$connected'"; exit 1; }
kill "$keyboard_pid"

# "Reset to default state" (the last item of the options menu, one step up from wherever the menu
# opens) makes a new plug-in: the ports play it. Its start-up sound has no arpeggio, which shows
# that the reset was made.
xdotool mousemove --window "$window" 30 12 click 1
sleep 0.5
xdotool key Up Return
sleep 1
play_chord --no-program 0 0
play_chord "" 2 100
stop_app
echo "plays through JACK, with its MIDI ports, also after a reset; says so when there is no output"
