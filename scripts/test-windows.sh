#!/usr/bin/env bash
# Builds the Windows VST2 libraries (scripts/build-windows.sh) and drives each one under Wine with
# a small cross-compiled host (tests/windows/Vst2WineHost.cpp): identity, state, a few rendered
# scenes (notes and settings) compared bit for bit with the Linux library's render of the same
# scenes, and the editor opened under Xvfb (its screenshot lands in build-win/editor-<arch>.png).
# The engine's pinned renders, cross-compiled, run under Wine as well and give the Linux checksums.
#   scripts/test-windows.sh [i686] [x86_64]
# VRO_LINUX_BUILD names the Linux build folder whose VST2 library gives the reference (default build).
# Some kernels cannot execute 32-bit programs: there the i686 library is built and inspected but not
# run. VRO_NO_32BIT=1 takes that path on any machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x86_64 i686)
jobs=$(nproc 2>/dev/null || echo 2)

# -------------------------------------------------------------------- Wine, 32-bit and 64-bit (safe to re-run)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
dpkg --print-foreign-architectures | grep -qx i386 || { $SUDO dpkg --add-architecture i386; $SUDO apt-get update -q; }
# 32-bit Wine's Direct3D needs the 32-bit GL library: without it the framework's display-refresh
# thread finds no DXGI factory and the 32-bit editor crashes on opening.
scripts/install-deps.sh wine wine64 wine32:i386 libgl1:i386 libgl1-mesa-dri:i386

scripts/build-windows.sh "${archs[@]}"

# -------------------------------------------------------------------- reference render from the Linux library
linux_build=${VRO_LINUX_BUILD:-build}
cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux_build" --target VroDrubbel_VST -j"$jobs" >/dev/null
out=$root/build-win
fst_include=$out/include
mkdir -p "$fst_include/pluginterfaces" && cp -r /usr/include/pluginterfaces/fst "$fst_include/pluginterfaces/"
host_flags=(-std=c++17 -O2 -Wall -Wextra -Wno-cpp -ffp-contract=off)
g++ "${host_flags[@]}" -o "$out/vst2_host_linux" tests/windows/Vst2WineHost.cpp -ldl
echo "== Linux reference"
"$out/vst2_host_linux" "$(ls "$linux_build"/VroDrubbel_artefacts/Release/VST/*.so)" --write "$out/reference.f32" \
    --parameters | tee "$out/linux.log"
grep '^param' "$out/linux.log" > "$out/parameters-linux.txt"

# -------------------------------------------------------------------- each Windows library under Wine
# One X server for every Wine process of the run. A wineserver first started without a display
# (winepath, wineboot) would stay up and leave the host's windows without a driver.
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all
# No .NET or HTML engine: a new prefix would otherwise offer to download them in a dialog nobody answers.
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k 2>/dev/null || true
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$out/display" >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$out/display")
# Debian's wine launcher always picks the 32-bit loader once wine32 is installed; the prefix, the
# path conversions and the x86_64 run use the 64-bit loader directly so they never depend on it.
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
export WINELOADER=$wine64
[ -d "$WINEPREFIX" ] || timeout -k 10 600 "$wine64" wineboot --init >/dev/null 2>&1
winpath() { "$wine64" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# Whether this kernel runs 32-bit programs at all: the 32-bit loader must answer with its version.
can_run_32bit()
{
    [ "${VRO_NO_32BIT:-0}" = 1 ] && return 1
    timeout -k 5 30 "$wine32" --version 2>/dev/null | grep -q '^wine-'
}

status=0
for arch in "${archs[@]}"; do
    $arch-w64-mingw32-g++-posix "${host_flags[@]}" -I"$fst_include" -static -o "$out/vst2_host_$arch.exe" tests/windows/Vst2WineHost.cpp -lgdi32
    # A fresh profile for the plug-in, so it starts from its built-in program as the Linux run did.
    rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Velmora
    dll=$(ls "$out/$arch"/plugin/VroDrubbel_artefacts/Release/VST/*.dll)
    rm -f "$out/editor-$arch.bmp" "$out/editor-$arch.png"
    echo "== $arch: $dll"
    # Only Windows' own DLLs: the C++ runtime, threads and the image libraries are linked in.
    imports=$($arch-w64-mingw32-objdump -p "$dll" | sed -n 's/.*DLL Name: //p' | sort -u | tr '\n' ' ')
    if grep -qiE 'lib(gcc|stdc|winpthread)|zlib|png|jpeg' <<<"$imports"; then
        echo "FAIL imports a library Windows does not have: $imports"
        status=1
    else
        echo "ok   imports only system libraries: $imports"
    fi
    exports=$($arch-w64-mingw32-objdump -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {t=1; next} t && /^\t\[/ {print $NF} t && /^$/ {t=0}' | sort | tr '\n' ' ')
    if grep -qw VSTPluginMain <<<"$exports" && grep -qw main <<<"$exports"; then
        echo "ok   exports the host entries: $exports"
    else
        echo "FAIL exports lack VSTPluginMain or main: $exports"
        status=1
    fi
    loader=$wine64
    if [ "$arch" = i686 ]; then
        if ! can_run_32bit; then
            echo "SKIPPED i686 under Wine: this kernel cannot run 32-bit programs"
            continue
        fi
        loader=$wine32
    fi
    # The engine's pinned renders (tests/engine/PinnedSoundTests.cpp) built with this compiler, its C
    # library and the arithmetic of this architecture (as the toolchain file sets it) must give the
    # checksums pinned on Linux.
    gtest=/usr/src/googletest/googletest
    pinned_flags=(-std=gnu++20 -O2 -ffp-contract=off -DNDEBUG -Iengine -I"$gtest/include" -I"$gtest")
    [ "$arch" = i686 ] && pinned_flags+=(-msse2 -mfpmath=sse)
    $arch-w64-mingw32-g++-posix "${pinned_flags[@]}" -static -o "$out/pinned_sound_$arch.exe" engine/*.cpp \
        tests/engine/PinnedSoundTests.cpp "$gtest/src/gtest-all.cc" "$gtest/src/gtest_main.cc"
    if WINELOADER=$loader timeout -k 10 600 "$loader" "$out/pinned_sound_$arch.exe" | tr -d '\r' > "$out/pinned-$arch.log"; then
        echo "ok   pinned renders give their checksums: $(grep -c '^\[       OK' "$out/pinned-$arch.log") tests passed"
    else
        echo "FAIL pinned renders under Wine:"
        grep -E 'Failure|ull|FAILED' "$out/pinned-$arch.log" || true
        status=1
    fi
    # A crash would start Wine's debugger and wait; the time limit ends the run instead.
    WINELOADER=$loader timeout -k 10 600 "$loader" "$out/vst2_host_$arch.exe" "$(winpath "$dll")" \
        --compare "$(winpath "$out/reference.f32")" --parameters --editor --screenshot "$(winpath "$out/editor-$arch.bmp")" \
        | tr -d '\r' | tee "$out/$arch.log" || status=1
    # Every parameter's name, value and text as the Linux library gives them.
    if grep '^param' "$out/$arch.log" | diff "$out/parameters-linux.txt" - >/dev/null; then
        echo "ok   $(wc -l < "$out/parameters-linux.txt") parameter names, values and texts as on Linux"
    else
        echo "FAIL parameters differ from Linux:"
        grep '^param' "$out/$arch.log" | diff "$out/parameters-linux.txt" - || true
        status=1
    fi
    [ -f "$out/editor-$arch.bmp" ] && python3 tests/windows/bmp_to_png.py "$out/editor-$arch.bmp" "$out/editor-$arch.png" \
        && echo "editor screenshot: $out/editor-$arch.png"
done
exit $status
