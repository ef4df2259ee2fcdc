#!/usr/bin/env bash
# The Debian package as a user gets it. Built by scripts/make-deb.sh (reusing build/ when it is
# there), checked by lintian and against the table of its files below, then installed with dpkg -i
# and used from the system's folders with a fresh home: the LV2 plug-in and its presets through
# lilv, the three forms and the VST3 presets through the host tests, two copies in one process,
# the renderer and the Standalone, the manual pages and the desktop entry. Removed and purged, it
# leaves the file system as it found it, and the machine's other plug-ins are untouched throughout.
# Installs and removes the package: run as root (CI does) or with sudo at hand.
#   tests/package/deb-check.sh [PACKAGE.deb]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
build=${VRO_BUILD_DIR:-build}
package=vro-drubbel
uri=https://velmora.example.com/plugins/vro-drubbel
version=$(tr -d '[:space:]' < VERSION)
programs=321

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

work=$(mktemp -d)
installed=0
cleanup()
{
    [ "$installed" -eq 1 ] && $SUDO dpkg --purge "$package" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

# The tools of the checks; mda-lv2 is another vendor's plug-in that must come through untouched.
scripts/install-deps.sh dpkg-dev lintian desktop-file-utils man-db lilv-utils mda-lv2 >/dev/null || exit 1

if [ $# -ge 1 ]; then
    deb=$(realpath "$1")
else
    start=$SECONDS
    deb=$(scripts/make-deb.sh "$work" 2>"$work/make-deb.log") || { tail -n 30 "$work/make-deb.log"; echo "FAIL: make-deb.sh"; exit 1; }
    echo "built $(basename "$deb") in $((SECONDS - start)) s: $(du -k "$deb" | cut -f1) KiB"
fi
is_installed() { grep -q ' installed$' <<<"$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)"; }
if is_installed; then
    echo "FAIL: $package is installed already; remove it before this check"
    exit 1
fi

# ---------------------------------------------------------------- the package itself
lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1
status=$?
grep -v '^running with root privileges' "$work/lintian.log"
[ "$status" -eq 0 ] && pass "lintian: no error or warning" || fail "lintian"

grep -q 'libc6' <<<"$(dpkg-deb -f "$deb" Depends)" && pass "Depends: $(dpkg-deb -f "$deb" Depends)" || fail "no dependencies computed"
members=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v '/$' | sort | tr '\n' ' ')
[ "$members" = "./control ./md5sums " ] && pass "no maintainer scripts" || fail "control members: $members"

# Every path of the package, one a line; a pattern line gives how many files it stands for.
cat > "$work/expected" <<'EOF'
usr/bin/drubbel-render
usr/bin/vro-drubbel
usr/lib/lv2/VRO Drubbel.lv2/dsp.ttl
usr/lib/lv2/VRO Drubbel.lv2/libVRO Drubbel.so
usr/lib/lv2/VRO Drubbel.lv2/manifest.ttl
usr/lib/lv2/VRO Drubbel.lv2/ui.ttl
usr/lib/lv2/VRO Drubbel Presets.lv2/manifest.ttl
usr/lib/lv2/VRO Drubbel Presets.lv2/*.ttl	321
usr/lib/vst/VRO Drubbel.so
usr/lib/vst3/VRO Drubbel.vst3/Contents/x86_64-linux/VRO Drubbel.so
usr/share/vst3/presets/VRO-Velmora/VRO Drubbel/*.vstpreset	321
usr/share/applications/vro-drubbel.desktop
usr/share/icons/hicolor/48x48/apps/vro-drubbel.png
usr/share/icons/hicolor/128x128/apps/vro-drubbel.png
usr/share/icons/hicolor/256x256/apps/vro-drubbel.png
usr/share/icons/hicolor/512x512/apps/vro-drubbel.png
usr/share/man/man1/drubbel-render.1.gz
usr/share/man/man1/vro-drubbel.1.gz
usr/share/doc/vro-drubbel/changelog.gz
usr/share/doc/vro-drubbel/copyright
EOF
dpkg-deb --fsys-tarfile "$deb" | tar -t > "$work/contents"
python3 - "$work/expected" "$work/contents" <<'PY' && pass "file list matches the table" || fail "file list"
import fnmatch, os, sys
rows = [line.rstrip('\n').split('\t') for line in open(sys.argv[1]) if line.strip()]
exact = {r[0] for r in rows if len(r) == 1}
patterns = {r[0]: int(r[1]) for r in rows if len(r) == 2}
files, folders = set(), set()
for name in open(sys.argv[2]).read().splitlines():
    name = name[2:] if name.startswith('./') else name
    if name.endswith('/'):
        if name != '':
            folders.add(name.rstrip('/'))
    elif name:
        files.add(name)
bad = []
bad += [f"missing: {p}" for p in sorted(exact - files)]
counts = dict.fromkeys(patterns, 0)
for f in sorted(files - exact):
    matched = [p for p in patterns if fnmatch.fnmatchcase(f, p) and '/' not in f[len(os.path.dirname(p)) + 1:]]
    if matched:
        counts[matched[0]] += 1
    else:
        bad.append(f"extra: {f}")
bad += [f"{p}: {n} files, expected {patterns[p]}" for p, n in counts.items() if n != patterns[p]]
# No folder beyond those that hold the files.
needed = {os.path.dirname(f) for f in files}
needed = {'/'.join(d.split('/')[:i]) for d in needed for i in range(1, d.count('/') + 2)}
bad += [f"extra folder: {d}" for d in sorted(folders - needed)]
if bad:
    print('\n'.join(bad))
sys.exit(1 if bad else 0)
PY

# ---------------------------------------------------------------- install
# What the machine holds, without dpkg's own records and the caches other packages' triggers keep.
snapshot()
{
    find /usr /etc /opt /var/lib -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/lib/ucf \) -prune \
        -o -print 2>/dev/null | grep -v -e '/mimeinfo\.cache$' -e '/icon-theme\.cache$' | LC_ALL=C sort
}
# Every other plug-in and preset file on the machine, with its checksum.
other_plugins()
{
    find /usr/lib/lv2 /usr/lib/vst /usr/lib/vst3 /usr/local/lib/lv2 /usr/local/lib/vst /usr/local/lib/vst3 \
        /usr/share/vst3 /usr/lib/x86_64-linux-gnu/lv2 -type f 2>/dev/null \
        | grep -v -e '/VRO Drubbel' | LC_ALL=C sort | tr '\n' '\0' | xargs -0r md5sum
}
snapshot > "$work/before"
other_plugins > "$work/others-before"
[ -s "$work/others-before" ] && pass "$(wc -l < "$work/others-before") files of other plug-ins to watch" || fail "no other plug-in to watch"

if $SUDO dpkg -i "$deb" > "$work/dpkg-i.log" 2>&1; then
    installed=1
    pass "dpkg -i"
else
    cat "$work/dpkg-i.log"
    fail "dpkg -i"
    exit 1
fi
snapshot > "$work/after-install"
LC_ALL=C comm -13 "$work/before" "$work/after-install" | sed 's|^/||' > "$work/added"
sed 's|^\./||; s|/$||' "$work/contents" | grep -v '^\.\?$' | LC_ALL=C sort > "$work/package-paths"
# The package's new paths are exactly its own: folders already there (usr, usr/share) aside.
LC_ALL=C comm -23 "$work/package-paths" <(sed 's|^/||' "$work/before") > "$work/package-new"
if cmp -s "$work/added" "$work/package-new" && [ -z "$(LC_ALL=C comm -23 "$work/before" "$work/after-install")" ]; then
    pass "the install added its $(wc -l < "$work/added") paths and nothing else"
else
    diff "$work/package-new" "$work/added" | head -n 20
    fail "the install changed other paths"
fi
cmp -s "$work/others-before" <(other_plugins) && pass "other plug-ins untouched by the install" || fail "other plug-ins changed by the install"

# ---------------------------------------------------------------- the hosts' view
# The system's plug-in folders only: a build in the home folder would otherwise be listed first.
# (grep reads whole outputs here: under pipefail an early exit of grep -q fails the writer.)
grep -qx "$uri" <<<"$(LV2_PATH=/usr/lib/lv2 lv2ls)" && pass "lv2ls lists $uri" || fail "lv2ls does not list $uri"
LV2_PATH=/usr/lib/lv2 lv2info "$uri" > "$work/lv2info" 2>&1
awk '/^\tPresets:/ { p = 1; next } p && /^$/ { exit } p { sub(/^[ \t]+/, ""); print }' "$work/lv2info" > "$work/lv2presets"
grep -q 'Bundle: *file:///usr/lib/lv2/VRO%20Drubbel.lv2/' "$work/lv2info" || fail "lv2info: not the installed bundle"
if [ "$(grep -cvx default "$work/lv2presets")" -eq "$programs" ] && grep -qx default "$work/lv2presets" \
    && grep -qx 'Bass/Acid: Classic Squelch' "$work/lv2presets"; then
    pass "lv2info: $programs presets and \"default\""
else
    fail "lv2info lists $(wc -l < "$work/lv2presets") presets"
fi

# Each installed binary exports its entry points only, so two copies in one process keep apart.
for form in "/usr/lib/vst/VRO Drubbel.so:VSTPluginMain main" \
            "/usr/lib/vst3/VRO Drubbel.vst3/Contents/x86_64-linux/VRO Drubbel.so:GetPluginFactory ModuleEntry ModuleExit" \
            "/usr/lib/lv2/VRO Drubbel.lv2/libVRO Drubbel.so:lv2_descriptor lv2ui_descriptor"; do
    # shellcheck disable=SC2086 # the entry points are words
    bash tests/host/exported-symbols.sh "${form%%:*}" ${form#*:} >/dev/null && pass "${form%%:*} exports its entry points only" \
        || fail "${form%%:*} exports more than its entry points"
done

# The host tests, against the installed binaries and presets, in a temporary home of their own.
host_tests=("$build/tests/plugin_host_tests_artefacts/Release/plugin_host_tests" "$build/tests/lv2_lilv_tests" "$build/tests/vst2_host_tests")
missing=()
for t in "${host_tests[@]}"; do [ -x "$t" ] || missing+=("$(basename "$t")"); done
[ ${#missing[@]} -eq 0 ] || cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target "${missing[@]}" >/dev/null
export VRO_VST2_PATH="/usr/lib/vst/VRO Drubbel.so" VRO_VST3_PATH="/usr/lib/vst3/VRO Drubbel.vst3" \
    VRO_LV2_PATH="/usr/lib/lv2/VRO Drubbel.lv2" VRO_LV2_FOLDER=/usr/lib/lv2 \
    VRO_VST3_PRESET_FOLDER="/usr/share/vst3/presets/VRO-Velmora/VRO Drubbel"
for t in "${host_tests[@]}"; do
    if tests/editor/with-display.sh "$t" > "$work/host.log" 2>&1; then
        pass "$(basename "$t") on the installed plug-ins: $(grep -o '[0-9]* tests\? from .* ran' "$work/host.log" | tail -n 1)"
    else
        grep -E '^\[  (FAILED|  OK) |Failure|error' "$work/host.log" | head -n 30
        fail "$(basename "$t") on the installed plug-ins"
    fi
done
unset VRO_VST2_PATH VRO_VST3_PATH VRO_LV2_PATH VRO_LV2_FOLDER VRO_VST3_PRESET_FOLDER
# A home build and the system's copy in one process, as hosts meet them when both are there.
if [ -d "$build/VroDrubbel_artefacts/Release/VST3/VRO Drubbel.vst3" ]; then
    if VRO_SECOND_VST3_PATH="/usr/lib/vst3/VRO Drubbel.vst3" VRO_SECOND_VST_PATH="/usr/lib/vst/VRO Drubbel.so" \
        tests/editor/with-display.sh "${host_tests[0]}" --gtest_filter='*TwoCopies*' > "$work/copies.log" 2>&1; then
        pass "the build's and the installed VST3 and VST2 side by side in one process"
    else
        grep -E '^\[  FAILED|Failure' "$work/copies.log" | head -n 20
        fail "two copies in one process"
    fi
fi

# ---------------------------------------------------------------- the programs, from /usr/bin
home=$work/home
mkdir -p "$home"
as_user() { env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
[ "$(as_user sh -c 'command -v drubbel-render')" = /usr/bin/drubbel-render ] || fail "drubbel-render is not /usr/bin's"
got=$(as_user drubbel-render --version)
[ "$got" = "drubbel-render $version" ] && pass "$got" || fail "--version said '$got'"
presets=$home/.config/Velmora/VRO-Drubbel/presets
if (cd "$work" && as_user drubbel-render --midi "$root/resources/demo/demo.mid" --out "$work/first.wav" --tail 0.2) \
    && [ "$(head -c 4 "$work/first.wav")" = RIFF ]; then
    pass "a render from /usr/bin with a fresh home"
else
    fail "render from /usr/bin"
fi
# The first start unpacks the factory bank from the program itself into the user's folder.
unpacked=$(find "$presets" -name '*.drubbel' ! -name Default.drubbel 2>/dev/null | wc -l)
[ "$unpacked" -eq "$programs" ] && pass "the first start unpacked $unpacked factory presets" || fail "$unpacked factory presets unpacked"
(cd "$work" && as_user drubbel-render --midi "$root/resources/demo/demo.mid" --out "$work/preset.wav" --tail 0.2 \
    --preset "$presets/Bass/Acid/Classic Squelch.drubbel") && ! cmp -s "$work/first.wav" "$work/preset.wav" \
    && pass "a render with an unpacked factory preset" || fail "render with a factory preset"

# The Standalone starts from the menu's command, shows its window and quits on Ctrl-C.
rm -rf "$home/.config"
cat > "$work/standalone.sh" <<'EOF'
vro-drubbel & pid=$!
for _ in $(seq 60); do xdotool search --name '^VRO Drubbel' >/dev/null 2>&1 && break; sleep 0.5; done
xdotool search --name '^VRO Drubbel' >/dev/null 2>&1 || { echo "no window"; kill -9 $pid; exit 1; }
kill -INT $pid
wait $pid
EOF
if as_user DISPLAY= xvfb-run -a -s "-screen 0 1280x1024x24" sh "$work/standalone.sh" > "$work/standalone.log" 2>&1; then
    unpacked=$(find "$presets" -name '*.drubbel' ! -name Default.drubbel 2>/dev/null | wc -l)
    [ "$unpacked" -eq "$programs" ] && pass "vro-drubbel opened, quit and unpacked the bank" || fail "vro-drubbel unpacked $unpacked presets"
else
    cat "$work/standalone.log"
    fail "vro-drubbel"
fi

# ---------------------------------------------------------------- manual pages and desktop entry
for page in drubbel-render vro-drubbel; do
    file=/usr/share/man/man1/$page.1.gz
    warnings=$(LANG=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
    [ -z "$warnings" ] && [ "$(man -w "$page" 2>/dev/null)" = "$file" ] && pass "man $page: found, no warnings" \
        || fail "man $page: ${warnings:-not found by man -w}"
done
# Every option the usage names is in the manual page.
text=$(LANG=C.UTF-8 MANWIDTH=200 man -l /usr/share/man/man1/drubbel-render.1.gz 2>/dev/null | col -b)
undocumented=$(as_user drubbel-render --help | grep -o -- '--[a-z-]*' | sort -u | while read -r option; do
    grep -q -- "$option" <<<"$text" || echo "$option"; done)
[ -z "$undocumented" ] && pass "the manual page names every option" || fail "options not in the manual page: $undocumented"
grep -q "EXIT STATUS" <<<"$text" && grep -q "EXAMPLES" <<<"$text" || fail "the manual page lacks exit status or examples"

entry=/usr/share/applications/vro-drubbel.desktop
validation=$(desktop-file-validate "$entry" 2>&1)
[ -z "$validation" ] && pass "desktop-file-validate" || fail "desktop-file-validate: $validation"
grep -qx 'Exec=vro-drubbel' "$entry" && grep -q '^Categories=.*Audio;.*Music;.*Midi;' "$entry" || fail "desktop entry's command or categories"
for size in 48 128 256 512; do
    icon=/usr/share/icons/hicolor/${size}x$size/apps/vro-drubbel.png
    read -r w h < <(python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(24); print(*struct.unpack(">II", d[16:24]))' "$icon")
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$icon is $w x $h"
done

# ---------------------------------------------------------------- remove and purge
for action in -r --purge; do
    if $SUDO dpkg "$action" "$package" > "$work/dpkg.log" 2>&1; then
        snapshot > "$work/after"
        if cmp -s "$work/before" "$work/after"; then
            pass "dpkg $action left the file system as it was"
        else
            diff "$work/before" "$work/after" | head -n 20
            fail "dpkg $action left changes"
        fi
        cmp -s "$work/others-before" <(other_plugins) && pass "other plug-ins untouched after dpkg $action" || fail "other plug-ins changed by dpkg $action"
    else
        cat "$work/dpkg.log"
        fail "dpkg $action"
    fi
done
installed=0
is_installed && fail "$package is still installed"

if [ "$failures" -ne 0 ]; then
    echo "deb-check: $failures failed"
    exit 1
fi
echo "deb-check: all passed"
