#!/usr/bin/env bash
# Cross-builds the Windows VST2 library with MinGW-w64, for 32-bit and 64-bit Windows:
#   scripts/build-windows.sh [i686] [x86_64]
# gives build-win/<arch>/VroDrubbel_artefacts/Release/VST/VRO Drubbel.dll. zlib, libpng and
# libjpeg for the target are built from Debian's own source packages.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x86_64 i686)
jobs=$(nproc 2>/dev/null || echo 2)

# -------------------------------------------------------------------- packages (safe to re-run)
# apt-get source needs the source lists of the main archive.
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
src_list=/etc/apt/sources.list.d/debian-src.sources
if ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    $SUDO tee $src_list >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    $SUDO apt-get update -q
fi
scripts/install-deps.sh dpkg-dev g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
    gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix

# -------------------------------------------------------------------- image and zip libraries
sources=$root/build-win/sources
mkdir -p "$sources"
for pkg in zlib libpng1.6 libjpeg-turbo; do
    ls -d "$sources/$pkg"-*/ >/dev/null 2>&1 && continue
    (cd "$sources" && apt-get source -q "$pkg" >/dev/null)
done
zlib_src=$(ls -d "$sources"/zlib-*/ | head -1)
png_src=$(ls -d "$sources"/libpng1.6-*/ | head -1)
jpeg_src=$(ls -d "$sources"/libjpeg-turbo-*/ | head -1)

toolchain=$root/cmake/windows/toolchain-mingw.cmake

build_deps()
{
    local arch=$1 deps=$2 work=$2/work
    [ -f "$deps/.done" ] && return 0
    rm -rf "$deps" && mkdir -p "$work" "$deps/include" "$deps/lib"
    local triple=$arch-w64-mingw32

    # Debian's zlib source has no Windows makefile; the library is fifteen plain C files.
    mkdir -p "$work/zlib"
    for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees uncompr zutil; do
        $triple-gcc-posix -O2 -c "$zlib_src/$c.c" -o "$work/zlib/$c.o"
    done
    $triple-ar rcs "$deps/lib/libz.a" "$work"/zlib/*.o
    cp "$zlib_src/zlib.h" "$zlib_src/zconf.h" "$deps/include/"

    local common=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVRO_WINDOWS_ARCH="$arch" -DVRO_WINDOWS_DEPS="$deps"
                  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps")
    cmake -S "$png_src" -B "$work/png" "${common[@]}" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
          -DZLIB_INCLUDE_DIR="$deps/include" -DZLIB_LIBRARY="$deps/lib/libz.a" >/dev/null
    cmake --build "$work/png" -j"$jobs" --target install >/dev/null

    # The plain C code path: the SIMD one needs nasm and only speeds up JPEG, which the plug-in never decodes.
    cmake -S "$jpeg_src" -B "$work/jpeg" "${common[@]}" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null
    cmake --build "$work/jpeg" -j"$jobs" --target install >/dev/null
    # The framework reads JPEG through the library's internal interface too, as Debian's package allows.
    cp "$jpeg_src/jpegint.h" "$deps/include/"
    # It also includes jpeglib.h inside a namespace and names that namespace's boolean, which the
    # Windows jconfig.h leaves to rpcndr.h once windows.h is in; the type is the same unsigned char.
    sed -i 's|^#ifndef __RPCNDR_H__ .*|#if 1|' "$deps/include/jconfig.h"
    touch "$deps/.done"
}

for arch in "${archs[@]}"; do
    start=$(date +%s)
    out=$root/build-win/$arch
    build_deps "$arch" "$out/deps"
    # fst (Debian's VST2 interface) is plain headers: they join the target's own.
    mkdir -p "$out/deps/include/pluginterfaces"
    cp -r "$(dirname "$(dpkg -L fst-dev | grep '/fst\.h$' | head -1)")" "$out/deps/include/pluginterfaces/"
    cmake -S . -B "$out/plugin" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVRO_WINDOWS_ARCH="$arch" \
          -DVRO_WINDOWS_DEPS="$out/deps" -DJUCE_DIR="$root/cmake/windows/juce" \
          -DVRO_HOST_JUCE_DIR="$(dirname "$(dpkg -L juce-modules-source 2>/dev/null | grep '/JUCEConfig\.cmake$' | head -1)")" \
          -DCMAKE_BUILD_TYPE=Release -DVRO_BUILD_TESTS=OFF
    cmake --build "$out/plugin" --target VroDrubbel_VST -j"$jobs"
    echo "$arch: $(ls "$out"/plugin/VroDrubbel_artefacts/Release/VST/*.dll) in $(( $(date +%s) - start )) s"
done
