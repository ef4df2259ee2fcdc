#!/usr/bin/env bash
# A plug-in binary exports its entry points and nothing else: any other exported symbol, and above
# all a process-wide unique one, lets a host's other plug-ins bind to our code and statics, or us to
# theirs.
#   exported-symbols.sh BINARY ENTRY...
set -euo pipefail
binary=$1
shift

table=$(readelf --dyn-syms --wide "$binary")
# Columns: Num Value Size Type Bind Vis Ndx Name; undefined ones are what the binary imports.
defined=$(awk '$7 != "UND" && $8 != "" && $1 ~ /^[0-9]+:$/ { sub(/@.*/, "", $8); print $8 }' <<< "$table" | sort -u)
unique=$(awk '$5 == "UNIQUE" { print $8 }' <<< "$table")
extra=$(comm -23 <(echo "$defined") <(printf '%s\n' "$@" | sort -u))
missing=$(comm -13 <(echo "$defined") <(printf '%s\n' "$@" | sort -u))

status=0
if [ -n "$unique" ]; then
    echo "$binary: $(wc -l <<< "$unique") process-wide unique symbols, e.g. $(head -3 <<< "$unique" | tr '\n' ' ')" >&2
    status=1
fi
if [ -n "$extra" ]; then
    echo "$binary: $(wc -l <<< "$extra") exported symbols beyond its entry points, e.g. $(head -5 <<< "$extra" | tr '\n' ' ')" >&2
    status=1
fi
if [ -n "$missing" ]; then
    echo "$binary: entry points not exported: $(tr '\n' ' ' <<< "$missing")" >&2
    status=1
fi
[ $status -eq 0 ] && echo "$binary exports exactly: $(tr '\n' ' ' <<< "$defined")"
exit $status
