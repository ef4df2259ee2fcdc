#!/usr/bin/env bash
# Instructions per sample frame inside VroCore::processBlock for the mono, poly6 and idle workloads
# of bench/engine_bench (and mono and poly6 again in 19 equal divisions of the octave), counted by valgrind's callgrind (which repeats exactly, unlike timings on a
# busy machine), then engine_bench's real-time ratios beside them.
#
# Steady state: engine_bench renders one second without notes before every workload (the start-up
# tails of the twelve voices), so a short and a long render are counted and the difference is
# divided by the difference in frames.
#
#   scripts/callgrind.sh [BUILD_DIR] [--no-ratios]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
ratios=1
[ "${2:-}" = "--no-ratios" ] && ratios=0

"$here/install-deps.sh" valgrind

bench="$build/bench/engine_bench"
if [ ! -x "$bench" ]; then
    cmake --build "$build" -j2 --target engine_bench
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Prints "<instructions> <audio seconds>" for one workload rendered for the given seconds.
count() {
    local name="$1" seconds="$2" out="$work/$1-$2"
    valgrind --tool=callgrind --callgrind-out-file="$out.cg" \
        --toggle-collect='VroCore::processBlock(*' \
        "$bench" --json --repeat 1 --seconds "$seconds" --only "$name" >"$out.json" 2>"$out.log" \
        || { cat "$out.log" >&2; exit 1; }
    local ir audio
    ir="$(awk '/^(totals|summary):/ { print $2; exit }' "$out.cg")"
    audio="$(sed -n 's/.*"audioSeconds": \([0-9.]*\).*/\1/p' "$out.json")"
    echo "$ir $audio"
}

printf '%-8s %14s\n' workload 'instr/frame'
for name in mono poly6 idle mono_tuned poly6_tuned; do
    read -r shortIr shortSeconds < <(count "$name" 1)
    read -r longIr longSeconds < <(count "$name" 3)
    awk -v a="$shortIr" -v b="$longIr" -v s="$shortSeconds" -v l="$longSeconds" -v n="$name" \
        'BEGIN { printf "%-8s %14.0f\n", n, (b - a) / ((l - s) * 44100) }'
done

if [ "$ratios" = 1 ]; then
    echo
    "$bench" --seconds 10
fi
