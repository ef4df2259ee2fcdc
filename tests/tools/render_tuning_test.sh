#!/usr/bin/env bash
# drubbel-render in other tunings: Scala files on the command line, MIDI Tuning Standard messages in
# the MIDI file, refused files named with their line. Usage: render_tuning_test.sh path/to/drubbel-render
set -u
render=$(realpath "$1")
. "$(dirname "$0")/test-home.sh"

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
def varlen(n):
    out = [n & 0x7f]
    while n > 0x7f:
        n >>= 7
        out.insert(0, (n & 0x7f) | 0x80)
    return bytes(out)
def midi(name, events):
    track = b"".join(varlen(delta) + data for delta, data in events) + bytes([0, 0xff, 0x2f, 0])
    open(f"{work}/{name}", "wb").write(b"MThd" + (6).to_bytes(4, "big") + bytes([0, 0, 0, 1, 1, 0xe0])
                                       + b"MTrk" + len(track).to_bytes(4, "big") + track)
def sysex(body):  # body: the bytes after F0, F7 included
    return bytes([0xf0]) + varlen(len(body)) + bytes(body)
# 24 equal, key 60 a quarter tone below 262 Hz (key 69 at 440 Hz), as a bulk dump.
dump = [0x7e, 0x7f, 0x08, 0x01, 0x00] + list(b"quarter tones   ")
for k in range(128):
    pitch2 = 129 + (k - 60)  # pitch in half semitones
    dump += [pitch2 // 2, 64 if pitch2 % 2 else 0, 0]
checksum = 0
for b in dump:
    checksum ^= b
dump += [checksum & 0x7f, 0xf7]
notes = [(10, bytes([0x90, 70, 100])), (470, bytes([0x80, 70, 0])), (0, bytes([0x90, 73, 100])), (480, bytes([0x80, 73, 0]))]
midi("plain.mid", [(0, bytes([0xb0, 7, 100]))] + notes)
midi("dump.mid", [(0, sysex(dump[:]))] + notes)
bad = dump[:]
bad[-2] ^= 1
midi("baddump.mid", [(0, sysex(bad))] + notes)
# A held key 70 bent a quarter tone up by a real-time single-note change halfway through.
midi("bend.mid", [(0, bytes([0x90, 70, 100])), (240, sysex([0x7f, 0x7f, 0x08, 0x02, 0, 1, 70, 70, 64, 0, 0xf7])),
                  (240, bytes([0x80, 70, 0]))])
midi("held.mid", [(0, bytes([0x90, 70, 100])), (240, bytes([0xb0, 7, 100])), (240, bytes([0x80, 70, 0]))])
open(f"{work}/quarter.scl", "w").write("! quarter.scl\n24 equal\n24\n" + "".join(f"{50 * i}.0\n" for i in range(1, 24)) + "2/1\n")
open(f"{work}/white.kbm", "w").write("12\n0\n127\n60\n60\n261.6256\n24\n0\nx\n4\nx\n8\n10\nx\n14\nx\n18\nx\n22\n")
open(f"{work}/bad.scl", "w").write("bad\n2\n3/2\n-2/1\n")
open(f"{work}/beyond.kbm", "w").write("1\n0\n127\n60\n69\n440.0\n12\n30\n")
PY

same() { cmp -s "$work/$1" "$work/$2"; }
r() { local out="$1"; shift; timeout 60 "$render" --out "$work/$out" --tail 0.2 "$@" 2>"$work/err" || fail "$out: $(cat "$work/err")"; }

r standard.wav --midi "$work/plain.mid"
r scala.wav --midi "$work/plain.mid" --scl "$work/quarter.scl"
r mapped.wav --midi "$work/plain.mid" --scl "$work/quarter.scl" --kbm "$work/white.kbm"
r dump.wav --midi "$work/dump.mid"
r baddump.wav --midi "$work/baddump.mid"
! same standard.wav scala.wav || fail "--scl changed nothing"
! same scala.wav mapped.wav || fail "--kbm changed nothing"
same scala.wav dump.wav || fail "a bulk dump in the MIDI file does not play as the same tuning from --scl"
same standard.wav baddump.wav || fail "a bulk dump with a wrong checksum changed the render"
r bend.wav --midi "$work/bend.mid"
r held.wav --midi "$work/held.mid"
! same bend.wav held.wav || fail "a real-time single-note change did not move the held note"
# Before the change the two renders are the same (44-byte WAV header, then 8 bytes a frame).
[ "$(head -c $((44 + 8 * 11000)) "$work/bend.wav" | md5sum)" = "$(head -c $((44 + 8 * 11000)) "$work/held.wav" | md5sum)" ] \
    || fail "the real-time change acted before its sample"

# Refused files: one line naming the file and its line, status 2, no output.
while IFS='|' read -r name message args; do
    rm -f "$work/out.wav"
    # shellcheck disable=SC2086
    eval "timeout 60 \"$render\" --midi \"$work/plain.mid\" --out \"$work/out.wav\" $args" 2>"$work/err" >/dev/null
    status=$?
    [ $status -eq 2 ] || fail "$name: status $status"
    [ "$(wc -l <"$work/err")" -eq 1 ] && grep -qF -- "$message" "$work/err" || fail "$name: stderr was: $(cat "$work/err")"
    [ ! -e "$work/out.wav" ] || fail "$name: wrote an output file"
done <<EOF2
bad ratio|$work/bad.scl, line 4: the ratio -2/1 has a zero or negative part|--scl "$work/bad.scl"
degree beyond the scale|$work/beyond.kbm, line 8: degree 30 is beyond the scale's 12 notes|--kbm "$work/beyond.kbm"
missing scale|$work/none.scl: file not found|--scl "$work/none.scl"
scale is a folder|$work: not a regular file|--scl "$work"
output onto the scale|is the --scl input|--scl "$work/quarter.scl" --out "$work/quarter.scl"
EOF2

"$render" --help | grep -q -- '--scl SCALE.scl' || fail "--help does not mention --scl"
[ $failures -eq 0 ] && echo "all render tuning checks passed"
exit $((failures > 0))
