#!/usr/bin/env bash
# The committed editor artwork and desktop icons are what tools/make_artwork draws today: a change
# to the generator that is not followed by regenerating resources/ fails here. Pixels are compared,
# not PNG bytes, so another encoder build does not matter.
#   artwork_current_test.sh MAKE_ARTWORK RESOURCES_DIR
set -euo pipefail
generator=$1
resources=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$generator" "$out" >/dev/null

failed=0
count=0
while IFS= read -r -d '' drawn; do
    name=${drawn#"$out"/}
    committed=$resources/$name
    count=$((count + 1))
    if [ ! -f "$committed" ]; then
        echo "FAIL $name is drawn but not committed"
        failed=1
        continue
    fi
    differing=$(compare -metric AE "$committed" "$drawn" null: 2>&1) || true
    if [ "$differing" != "0" ]; then
        echo "FAIL $name: $differing pixels differ from the generator's"
        failed=1
    fi
done < <(find "$out" -name '*.png' -print0 | sort -z)
[ "$count" -gt 0 ] || { echo "FAIL the generator drew nothing"; exit 1; }

if [ "$failed" -ne 0 ]; then
    echo "Regenerate with: cmake --build build --target make_artwork && build/make_artwork resources"
    exit 1
fi
echo "ok: $count images match the generator"
