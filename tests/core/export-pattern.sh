#!/bin/sh
# drubbel-render --export-pattern writes the pattern through the same writer as the editor's export: two default steps
# (note 60, velocity 64, a full sixteenth each) give a known file; an unwritable path fails loudly.
set -eu
render="$1"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

"$render" --export-pattern "$out/two.mid" --param 48=0.025
got="$(od -An -tx1 -v "$out/two.mid" | tr -s ' \n' ' ' | sed 's/^ //;s/ $//')"
want="4d 54 68 64 00 00 00 06 00 01 00 01 03 c0 4d 54 72 6b 00 00 00 16 00 90 3c 40 81 70 80 3c 01 00 90 3c 40 81 70 80 3c 01 00 ff 2f 00"
if [ "$got" != "$want" ]; then
    echo "unexpected bytes: $got" >&2
    exit 1
fi

touch "$out/plain"
if "$render" --export-pattern "$out/plain/x.mid" 2>/dev/null; then
    echo "writing below a plain file was reported as success" >&2
    exit 1
fi
[ ! -e "$out/plain/x.mid" ]
