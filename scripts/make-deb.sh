#!/usr/bin/env bash
# Builds the Release tree and writes the Debian package vro-drubbel_<version>_<arch>.deb into the
# clone's top folder (or OUT_DIR): the plug-ins in the system's plug-in folders, the factory bank as
# the hosts' own presets, the Standalone as /usr/bin/vro-drubbel with a desktop entry and icons,
# and drubbel-render with its manual page. Dependencies come from the binaries (dpkg-shlibdeps);
# the framework is compiled in. Prints the package's path last.
#   scripts/make-deb.sh [OUT_DIR]
# VRO_BUILD_DIR names the build tree (default build); one already built is reused.
set -euo pipefail
out_dir=${1:-}
[ -n "$out_dir" ] && { mkdir -p "$out_dir"; out_dir=$(cd "$out_dir" && pwd); }
cd "$(dirname "$0")/.."
root=$(pwd)
out_dir=${out_dir:-$root}
build=${VRO_BUILD_DIR:-build}
packaging=$root/packaging/deb

scripts/install-deps.sh dpkg-dev lintian >&2

version=$(tr -d '[:space:]' < VERSION)
changelog_version=$(dpkg-parsechangelog -l "$packaging/changelog" -SVersion)
if [ "$changelog_version" != "$version" ]; then
    echo "make-deb: VERSION is $version but packaging/deb/changelog's newest entry is $changelog_version;" \
         "add an entry for $version at its top" >&2
    exit 1
fi
# The changelog's date stamps every file, so the same tree gives the same package.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -l "$packaging/changelog" -STimestamp)}
arch=$(dpkg --print-architecture)
package=vro-drubbel
deb=$out_dir/${package}_${version}_${arch}.deb

# The cache keeps its warning setting: switching it would recompile a tree the tests just built.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target VroDrubbel_VST VroDrubbel_VST3 VroDrubbel_LV2 \
    VroDrubbel_Standalone VroDrubbel_HostPresets drubbel-render >&2
artefacts=$build/VroDrubbel_artefacts/Release

work=$(mktemp -d "${TMPDIR:-/tmp}/vro-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/$package
umask 022
doc=$stage/usr/share/doc/$package
install -d "$stage/DEBIAN" "$stage/usr/bin" "$stage/usr/lib/lv2" "$stage/usr/lib/vst" "$stage/usr/lib/vst3" \
    "$stage/usr/share/vst3/presets/VRO-Velmora" "$stage/usr/share/man/man1" "$stage/usr/share/applications" "$doc"

cp -R "$artefacts/LV2/VRO Drubbel.lv2" "$artefacts/LV2/VRO Drubbel Presets.lv2" "$stage/usr/lib/lv2/"
cp -R "$artefacts/VST3/VRO Drubbel.vst3" "$stage/usr/lib/vst3/"
cp -R "$artefacts/VST3 Presets/VRO-Velmora/VRO Drubbel" "$stage/usr/share/vst3/presets/VRO-Velmora/"
install -m 644 "$artefacts/VST/libVRO Drubbel.so" "$stage/usr/lib/vst/VRO Drubbel.so"
install -m 755 "$artefacts/Standalone/VRO Drubbel" "$stage/usr/bin/vro-drubbel"
install -m 755 "$build/drubbel-render" "$stage/usr/bin/drubbel-render"

# As dh_strip does: no symbol tables, build notes or compiler comments in the installed binaries.
plugins=()
while IFS= read -r -d '' library; do plugins+=("$library"); done < <(find "$stage/usr/lib" -name '*.so' -print0)
programs=("$stage/usr/bin/vro-drubbel" "$stage/usr/bin/drubbel-render")
strip --remove-section=.comment --remove-section=.note --strip-unneeded "${plugins[@]}"
strip --remove-section=.comment --remove-section=.note "${programs[@]}"

man_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
for page in drubbel-render vro-drubbel; do
    sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$man_date/g" "$packaging/$page.1" \
        | gzip -9n > "$stage/usr/share/man/man1/$page.1.gz"
done
install -m 644 "$packaging/vro-drubbel.desktop" "$stage/usr/share/applications/"
for size in 48 128 256 512; do
    install -D -m 644 "resources/icons/vro-drubbel-$size.png" "$stage/usr/share/icons/hicolor/${size}x$size/apps/vro-drubbel.png"
done
install -m 644 "$packaging/copyright" "$doc/copyright"
gzip -9n < "$packaging/changelog" > "$doc/changelog.gz"

# Plug-in libraries are loaded, not run; the bundles' data is read-only for everyone.
find "$stage/usr" -type d -exec chmod 755 {} +
find "$stage/usr" -type f ! -path "$stage/usr/bin/*" -exec chmod 644 {} +

# dpkg-shlibdeps reads the package's name from a debian/control of its own.
mkdir -p "$work/src/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" > "$work/src/debian/control"
shlibs=$(cd "$work/src" && dpkg-shlibdeps -O "${programs[@]/#/-e}" "${plugins[@]/#/-e}" | sed -n 's/^shlibs:Depends=//p')
# The framework opens X11 at run time (dlopen), so the binaries do not name it: an editor window
# needs libX11 and libXext; cursors, screens and the screen saver use the rest when present.
depends="$shlibs, libx11-6, libxext6"

installed_size=$(find "$stage/usr" -printf '%s\n' | awk '{ kb += int(($1 + 1023) / 1024) } END { print kb }')
cat > "$stage/DEBIAN/control" <<EOF
Package: $package
Version: $version
Architecture: $arch
Maintainer: VRO-Velmora <support@velmora.example.com>
Installed-Size: $installed_size
Depends: $depends
Recommends: libxcursor1, libxinerama1, libxrandr2, libxss1, fonts-dejavu-core
Suggests: jackd2
Provides: lv2-plugin, vst-plugin
Section: sound
Priority: optional
Homepage: https://velmora.example.com
Description: analogue-style bass and lead synthesizer (LV2, VST3, VST2)
 VRO Drubbel is a monophonic (or six-voice) synthesizer for bass and lead
 sounds: band-limited pulse, saw and sub oscillators and noise into a 4x
 oversampled ladder filter, two envelopes, an LFO, portamento, an
 arpeggiator and a 96-step sequencer that follow the host's tempo, MIDI
 clock or trigger notes, with MIDI learn and a factory bank of 321 presets.
 .
 This package contains the LV2, VST3 and VST2 plug-ins with the factory
 bank as LV2 and VST3 host presets, the Standalone application (vro-drubbel)
 and the offline renderer drubbel-render.
EOF
(cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) > "$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -newermt "@$SOURCE_DATE_EPOCH" -print0 | xargs -0r touch --no-dereference --date="@$SOURCE_DATE_EPOCH"

dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >&2
echo "$deb"
