#!/usr/bin/env bash
# drubbel-render as a user runs it: good renders, and bad input refused with one line, status 2
# and no output file. Usage: render_cli_test.sh path/to/drubbel-render path/to/demo.mid
set -u
render=$(realpath "$1")
midi=$(realpath "$2")
. "$(dirname "$0")/test-home.sh"

frames() { # data frames of a stereo 32-bit float WAV
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
pos, fmt, frames, fmtSize, fact = 12, None, None, None, None
while pos + 8 <= len(data):
    tag, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
    if tag == b'fmt ':
        fmt, fmtSize = struct.unpack('<HHIIHH', data[pos + 8:pos + 24]), size
        # Float data carries the extension size, which is 0.
        fmtSize = f"{size}:{struct.unpack('<H', data[pos + 24:pos + 26])[0]}" if size >= 18 else str(size)
    if tag == b'fact':
        fact = struct.unpack('<I', data[pos + 8:pos + 12])[0]
    if tag == b'data':
        frames = size // 8
    pos += 8 + size + (size & 1)
tag, channels, rate, _, _, bits = fmt
print(f"{tag} {channels} {rate} {bits} {frames} {fmtSize} {fact}")
PY
}

# Good input.
"$render" --midi "$midi" --out "$work/a.wav" --tail 0 --midi-out "$work/a.mid" || fail "plain render"
"$render" --midi "$midi" --out "$work/b.wav" --tail 1 --param 26=0.4 --block-size 64 || fail "render with options"
read -r tag channels rate bits framesA fmtSize fact <<<"$(frames "$work/a.wav")"
read -r _ _ _ _ framesB _ _ <<<"$(frames "$work/b.wav")"
[ "$tag" = 3 ] && [ "$channels" = 2 ] && [ "$rate" = 44100 ] && [ "$bits" = 32 ] || fail "format $tag $channels $rate $bits"
[ "$fmtSize" = 18:0 ] && [ "$fact" = "$framesA" ] || fail "float format chunk $fmtSize, fact $fact of $framesA frames"
[ $((framesB - framesA)) -eq 44100 ] || fail "one second of tail adds $((framesB - framesA)) frames"
[ "$(head -c 4 "$work/a.mid")" = "MThd" ] || fail "MIDI output file"
"$render" --midi "$midi" --out "$work/c.wav" --sample-rate 48000 --tail 0.5 || fail "render at 48000"
read -r _ _ rateC _ _ _ _ <<<"$(frames "$work/c.wav")"
[ "$rateC" = 48000 ] || fail "rate $rateC"

# Asked, not rendering: the usage (also for no arguments at all), the version, the parameters.
"$render" >"$work/out" 2>"$work/err"
[ $? -eq 2 ] && grep -q -- '--midi IN.mid' "$work/err" && [ ! -s "$work/out" ] || fail "no arguments: no usage on stderr with status 2"
[ "$("$render" --version)" = "drubbel-render $(cat "$(dirname "$0")/../../VERSION")" ] || fail "--version: $("$render" --version)"
"$render" --list-params >"$work/params" || fail "--list-params: status"
[ "$(wc -l <"$work/params")" -eq 66 ] && [ "$(cut -f1 "$work/params" | tr '\n' ' ')" = "$(seq -s ' ' 0 65) " ] \
    && grep -qx $'1\tVolume' "$work/params" || fail "--list-params: $(head -3 "$work/params")"

# Bad input: one line on stderr naming the problem, status 2, no output file.
printf 'not midi' > "$work/garbage.mid"
# Hostile documents: deep nesting, an instruction followed by text, an entity chain, a DTD that
# names a file, a root of another kind.
python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
open(f"{work}/deep.drubbel", "w").write("<vro>" + "<a>" * 50000 + "</a>" * 50000 + "</vro>")
open(f"{work}/pi.drubbel", "w").write("<vro><?pi x?>text</vro>")
chain = '<?xml version="1.0"?>\n<!DOCTYPE vro [\n<!ENTITY e0 "lol">\n'
chain += "".join(f'<!ENTITY e{i} "&e{i-1};&e{i-1};&e{i-1};&e{i-1};&e{i-1};&e{i-1};&e{i-1};&e{i-1};">\n' for i in range(1, 9))
open(f"{work}/entities.drubbel", "w").write(chain + ']>\n<vro a="&e8;"/>\n')
open(f"{work}/doctype.drubbel", "w").write('<?xml version="1.0"?>\n<!DOCTYPE vro SYSTEM "/etc/passwd">\n<vro/>\n')
open(f"{work}/other.drubbel", "w").write('<notvro><programs/></notvro>')
open(f"{work}/a.drubbel", "w").write('<vro version="1.3"><programs><program programname="A"/></programs></vro>')
# One note on tick 2^28 - 1 at 1 tick per quarter: millions of hours away.
track = bytes([0xff, 0xff, 0xff, 0x7f, 0x90, 60, 100, 0, 0xff, 0x2f, 0])
open(f"{work}/far.mid", "wb").write(b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 0, 1])
                                   + b"MTrk" + len(track).to_bytes(4, "big") + track)
PY
mkfifo "$work/fifo.mid" "$work/fifo.drubbel" "$work/fifo.wav"
printf 'linked' > "$work/linked.wav"
ln -s "$work/linked.wav" "$work/link.wav"
ln -s "$work/nowhere.wav" "$work/dangling.wav"
cp "$midi" "$work/in.mid"
while IFS='|' read -r name args; do
    rm -f "$work/out.wav"
    # shellcheck disable=SC2086
    eval "timeout 60 \"$render\" $args" 2>"$work/err" >/dev/null
    status=$?
    [ $status -eq 2 ] || fail "$name: status $status"
    [ "$(wc -l <"$work/err")" -eq 1 ] || fail "$name: stderr was: $(cat "$work/err")"
    [ ! -e "$work/out.wav" ] || fail "$name: wrote an output file"
done <<EOF2
missing midi|--out "$work/out.wav"
missing out|--midi "$midi"
no such file|--midi "$work/none.mid" --out "$work/out.wav"
not midi|--midi "$work/garbage.mid" --out "$work/out.wav"
bad number|--midi "$midi" --out "$work/out.wav" --tail abc
index too high|--midi "$midi" --out "$work/out.wav" --param 66=1
negative index|--midi "$midi" --out "$work/out.wav" --param -1=1
zero rate|--midi "$midi" --out "$work/out.wav" --sample-rate 0
negative block|--midi "$midi" --out "$work/out.wav" --block-size -5
missing preset|--midi "$midi" --out "$work/out.wav" --preset "$work/none.drubbel"
unknown option|--midi "$midi" --out "$work/out.wav" --frobnicate
value above 1|--midi "$midi" --out "$work/out.wav" --param 26=1.5
value below 0|--midi "$midi" --out "$work/out.wav" --param 26=-0.1
value not finite|--midi "$midi" --out "$work/out.wav" --param 26=inf
deep preset|--midi "$midi" --out "$work/out.wav" --preset "$work/deep.drubbel"
instruction in preset|--midi "$midi" --out "$work/out.wav" --preset "$work/pi.drubbel"
entity chain|--midi "$midi" --out "$work/out.wav" --preset "$work/entities.drubbel"
doctype preset|--midi "$midi" --out "$work/out.wav" --preset "$work/doctype.drubbel"
other document|--midi "$midi" --out "$work/out.wav" --preset "$work/other.drubbel"
endless preset|--midi "$midi" --out "$work/out.wav" --preset /dev/zero
fifo preset|--midi "$midi" --out "$work/out.wav" --preset "$work/fifo.drubbel"
fifo midi|--midi "$work/fifo.mid" --out "$work/out.wav"
endless midi|--midi /dev/zero --out "$work/out.wav"
far event|--midi "$work/far.mid" --out "$work/out.wav"
rate too high|--midi "$midi" --out "$work/out.wav" --sample-rate 1000000
rate too low|--midi "$midi" --out "$work/out.wav" --sample-rate 22
rate just below|--midi "$midi" --out "$work/out.wav" --sample-rate 7999
over an hour|--midi "$midi" --out "$work/out.wav" --tail 3600
out is the input|--midi "$work/in.mid" --out "$work/in.mid"
pattern onto the input|--midi "$work/in.mid" --out "$work/out.wav" --export-pattern "$work/in.mid"
out is the preset|--midi "$midi" --out "$work/a.drubbel" --preset "$work/a.drubbel"
same output twice|--midi "$midi" --out "$work/out.wav" --midi-out "$work/out.wav"
out is a folder|--midi "$midi" --out "$work"
out is a fifo|--midi "$midi" --out "$work/fifo.wav"
midi-out folder missing|--midi "$midi" --out "$work/out.wav" --midi-out "$work/missing/x.mid"
out is a link|--midi "$midi" --out "$work/link.wav"
out is a dangling link|--midi "$midi" --out "$work/dangling.wav"
midi-out is a link|--midi "$midi" --out "$work/out.wav" --midi-out "$work/link.wav"
out is standard output|--midi "$midi" --out /dev/stdout
fractional rate|--midi "$midi" --out "$work/out.wav" --sample-rate 8000.5
EOF2

# Refused outputs are left as they were.
cmp -s "$midi" "$work/in.mid" || fail "the input MIDI file was changed"
grep -q 'programname="A"' "$work/a.drubbel" || fail "the preset given as --out was changed"
[ -p "$work/fifo.wav" ] || fail "the FIFO given as --out was replaced"
[ -L "$work/link.wav" ] && [ -L "$work/dangling.wav" ] && [ "$(cat "$work/linked.wav")" = linked ] \
    || fail "a link given as an output was replaced or its target changed"
rm -f "$work/link.wav" "$work/dangling.wav"
[ "$(find "$work" -maxdepth 1 -name '.*' | wc -l)" -eq 0 ] || fail "temporary files left: $(ls -A "$work")"
# An empty or "." output names the working folder, which must survive.
mkdir "$work/empty"
for out in "" "."; do
    (cd "$work/empty" && timeout 60 "$render" --midi "$midi" --out "$out" 2>/dev/null)
    [ $? -eq 2 ] || fail "--out '$out': not refused"
    [ -d "$work/empty" ] || { fail "--out '$out' removed the working folder"; mkdir "$work/empty"; }
done
# A rate at either end of the range renders.
"$render" --midi "$midi" --out "$work/low.wav" --sample-rate 8000 --tail 0 || fail "render at 8000"
# A name near the file system's limit: the hidden temporary beside it must still fit.
long="$work/$(printf 'n%.0s' $(seq 246)).wav"
"$render" --midi "$midi" --out "$long" --tail 0 --sample-rate 8000 2>"$work/err" || fail "250-byte output name: $(cat "$work/err")"
[ -s "$long" ] || fail "250-byte output name: no file"
rm -f "$long"

# An output that cannot be written is found before anything is read or rendered (a render may
# last an hour): the refusal names it rather than the broken MIDI file. /proc takes no new files,
# for root either.
for option in --out --midi-out --export-pattern; do
    timeout 60 "$render" --midi "$work/garbage.mid" --out "$work/never.wav" "$option" /proc/x.mid 2>"$work/err"
    status=$?
    [ $status -eq 2 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q /proc/x.mid "$work/err" \
        || fail "unwritable $option: status $status, $(cat "$work/err")"
done
[ ! -e "$work/never.wav" ] || fail "unwritable output: the WAV was written anyway"

# Interrupted renders take their temporaries with them; one killed outright leaves its temporary
# to the next render into that folder, which removes it unless a live render holds it.
sig="$work/signals"
mkdir "$sig"
longRender() { # starts a render of about an hour into $1 and waits for its temporary
    set -m # a background job of a script would otherwise ignore SIGINT
    "$render" --midi "$midi" --out "$1/long.wav" --tail 3000 --sample-rate 384000 2>/dev/null &
    pid=$!
    set +m
    for _ in $(seq 100); do
        [ -n "$(find "$1" -maxdepth 1 -name '.vro-tmp-*' -size +0)" ] && return
        sleep 0.1
    done
    fail "no temporary appeared in $1"
}
for signal in INT TERM HUP; do
    longRender "$sig"
    kill -s "$signal" "$pid"
    wait "$pid" 2>/dev/null
    [ -z "$(ls -A "$sig")" ] || fail "SIG$signal left: $(ls -A "$sig")"
done
longRender "$sig"
kill -s KILL "$pid"
wait "$pid" 2>/dev/null
killed=$(find "$sig" -maxdepth 1 -name '.vro-tmp-*')
[ -n "$killed" ] || fail "SIGKILL: no temporary left to clean up"
touch -d '1 minute ago' "$sig"/.vro-tmp-*
mkdir "$sig/live"
longRender "$sig/live"
live=$(find "$sig/live" -maxdepth 1 -name '.vro-tmp-*')
touch -d '1 minute ago' "$live"
: >"$sig/.keep"
touch -d '1 minute ago' "$sig/.keep"
"$render" --midi "$midi" --out "$sig/short.wav" --tail 0 --sample-rate 8000 --midi-out "$sig/live/short.mid" || fail "render after a killed one"
[ "$(ls -A "$sig" | tr '\n' ' ')" = ".keep live short.wav " ] || fail "after a killed render: $(ls -A "$sig")"
[ -e "$live" ] || fail "the temporary of a live render was removed"
kill -s TERM "$pid"
wait "$pid" 2>/dev/null

# A full disk: the render fails, the previous file stays, no temporary is left. Needs root's mount.
disk="$work/disk"
mkdir "$disk"
if mount -t tmpfs -o size=256k tmpfs "$disk" 2>/dev/null; then
    printf 'previous' > "$disk/out.wav"
    printf 'previous' > "$disk/out.mid"
    timeout 60 "$render" --midi "$midi" --out "$disk/out.wav" 2>/dev/null
    [ $? -eq 2 ] || fail "full disk: status not 2"
    [ "$(cat "$disk/out.wav")" = previous ] || fail "full disk: the previous WAV was lost"
    timeout 60 "$render" --midi "$midi" --out "$work/fits.wav" --midi-out "$disk/out.mid" --export-pattern "$disk/p.mid" 2>/dev/null \
        || fail "outputs that fit were not written"
    dd if=/dev/zero of="$disk/filler" bs=1k count=1024 2>/dev/null
    rm -f "$work/fits.wav"
    timeout 60 "$render" --midi "$midi" --out "$work/fits.wav" --midi-out "$disk/out2.mid" 2>/dev/null
    [ $? -eq 2 ] || fail "full disk for the MIDI output: status not 2"
    [ ! -e "$work/fits.wav" ] || fail "full disk for the MIDI output: the WAV was written anyway"
    [ "$(ls -A "$disk" | grep -c '^\.')" -eq 0 ] || fail "full disk: temporary files left: $(ls -A "$disk")"
    umount "$disk"
else
    echo "SKIP: full-disk checks need a tmpfs mount (root)"
fi

# 100,000 events on one tick render in linear time (a quadratic insert took a minute).
python3 - "$work/crowd.mid" <<'PY'
import sys
events = b"".join(bytes([0, 0xb0, 7, 100]) for _ in range(100000)) + bytes([0, 0xff, 0x2f, 0])
open(sys.argv[1], "wb").write(b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 1, 0xe0])
                              + b"MTrk" + len(events).to_bytes(4, "big") + events)
PY
start=$(date +%s)
timeout 120 "$render" --midi "$work/crowd.mid" --out "$work/crowd.wav" --tail 0.1 || fail "crowded tick: render failed"
took=$(($(date +%s) - start))
[ "$took" -le 20 ] || fail "crowded tick: $took s"

# A million note-ons of one pitch on one tick (3 MB) read in linear time; pairing each with a
# note-off as the framework's reader does took a minute.
python3 - "$work/notes.mid" <<'PY'
import sys
events = b"".join(bytes([0, 0x90, 60, 100]) for _ in range(1000000)) + bytes([0, 0xff, 0x2f, 0])
open(sys.argv[1], "wb").write(b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 1, 0xe0])
                              + b"MTrk" + len(events).to_bytes(4, "big") + events)
PY
start=$(date +%s)
timeout 300 "$render" --midi "$work/notes.mid" --out "$work/notes.wav" --tail 0.1 --sample-rate 8000 || fail "same-pitch note-ons: render failed"
took=$(($(date +%s) - start))
[ "$took" -le 20 ] || fail "same-pitch note-ons: $took s"

# A file near the size cap, 60 MB of notes whose note-offs share their note-on's tick, is read in
# a small multiple of its size (the framework's reading took 65 times, 3.9 GB): under a 1 GB limit
# of address space it renders, or fails with one line, status 2 and nothing left behind.
if command -v prlimit >/dev/null; then
    big="$work/big"
    mkdir "$big"
    python3 - "$work/big.mid" <<'PY'
import sys
units = 10_000_000
track = (b"\x00\xff\x51\x03" + (98301).to_bytes(3, "big") + b"\x00\x90\x3c\x64\x00\x3c\x00"
         + b"\x01\x3c\x64\x00\x3c\x00" * units + b"\x00\xff\x2f\x00")
open(sys.argv[1], "wb").write(b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 0x7f, 0xff])
                              + b"MTrk" + len(track).to_bytes(4, "big") + track)
PY
    peak=$(python3 - prlimit --as=1073741824 "$render" --midi "$work/big.mid" --out "$big/big.wav" 2>"$work/err" <<'PY'
import resource, subprocess, sys
status = subprocess.call(sys.argv[1:])
print(status, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024)
PY
)
    read -r status megabytes <<<"$peak"
    size=$(($(stat -c %s "$work/big.mid") / 1048576))
    case "$status" in
        0) [ -s "$big/big.wav" ] || fail "60 MB MIDI file: no output" ;;
        2) [ "$(wc -l <"$work/err")" -eq 1 ] && [ ! -e "$big/big.wav" ] || fail "60 MB MIDI file: $(cat "$work/err")" ;;
        *) fail "60 MB MIDI file under 1 GB: status $status, $(tail -1 "$work/err")" ;;
    esac
    [ "$megabytes" -le $((8 * size + 64)) ] || fail "60 MB MIDI file: $megabytes MB at the peak for $size MB"
    [ -z "$(find "$big" -name '.*')" ] || fail "60 MB MIDI file: left $(ls -A "$big")"
    echo "60 MB MIDI file: status $status, $megabytes MB at the peak"
    rm -rf "$big" "$work/big.mid"
else
    echo "SKIP: the memory check of a 60 MB MIDI file needs prlimit"
fi

[ $failures -eq 0 ] && echo "all render CLI checks passed"
exit $((failures > 0))
