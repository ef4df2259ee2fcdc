#!/usr/bin/env bash
# drubbel-render as a user runs it: good renders, and bad input refused with one line, status 2
# and no output file. Usage: render_cli_test.sh path/to/drubbel-render path/to/demo.mid
set -u
render=$1
midi=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

frames() { # data frames of a stereo 32-bit float WAV
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
pos, fmt, frames = 12, None, None
while pos + 8 <= len(data):
    tag, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
    if tag == b'fmt ':
        fmt = struct.unpack('<HHIIHH', data[pos + 8:pos + 24])
    if tag == b'data':
        frames = size // 8
    pos += 8 + size + (size & 1)
tag, channels, rate, _, _, bits = fmt
print(f"{tag} {channels} {rate} {bits} {frames}")
PY
}

# Good input.
"$render" --midi "$midi" --out "$work/a.wav" --tail 0 --midi-out "$work/a.mid" || fail "plain render"
"$render" --midi "$midi" --out "$work/b.wav" --tail 1 --param 26=0.4 --block-size 64 || fail "render with options"
read -r tag channels rate bits framesA <<<"$(frames "$work/a.wav")"
read -r _ _ _ _ framesB <<<"$(frames "$work/b.wav")"
[ "$tag" = 3 ] && [ "$channels" = 2 ] && [ "$rate" = 44100 ] && [ "$bits" = 32 ] || fail "format $tag $channels $rate $bits"
[ $((framesB - framesA)) -eq 44100 ] || fail "one second of tail adds $((framesB - framesA)) frames"
[ "$(head -c 4 "$work/a.mid")" = "MThd" ] || fail "MIDI output file"
"$render" --midi "$midi" --out "$work/c.wav" --sample-rate 48000 --tail 0.5 || fail "render at 48000"
read -r _ _ rateC _ _ <<<"$(frames "$work/c.wav")"
[ "$rateC" = 48000 ] || fail "rate $rateC"

# Bad input: one line on stderr naming the problem, status 2, no output file.
printf 'not midi' > "$work/garbage.mid"
while IFS='|' read -r name args; do
    rm -f "$work/out.wav"
    # shellcheck disable=SC2086
    eval "\"$render\" $args" 2>"$work/err" >/dev/null
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
EOF2

[ $failures -eq 0 ] && echo "all render CLI checks passed"
exit $((failures > 0))
