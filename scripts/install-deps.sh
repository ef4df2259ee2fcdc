#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages, plus any packages named
# on the command line (the Windows scripts name theirs). Safe to run again.
#   scripts/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(
    build-essential cmake pkg-config python3 lld
    juce-modules-source fst-dev lv2-dev
    libasound2-dev libjack-jackd2-dev libfreetype-dev libfontconfig1-dev
    libx11-dev libxcomposite-dev libxcursor-dev libxext-dev libxinerama-dev libxrandr-dev libxrender-dev
    libgl1-mesa-dev
    googletest libgtest-dev
    libmpfr-dev  # correctly rounded reference values for the engine's own maths
    liblilv-dev lilv-utils  # the LV2 preset bundle is checked through lilv, as LV2 hosts read it
    xvfb xauth xdotool x11-apps imagemagick fonts-dejavu-core
    fonts-urw-base35  # the faces tools/make_artwork draws its captions with
    locales  # a locale with a decimal comma for the tests, generated below
    jackd2  # a JACK server (dummy back-end) for the Standalone's test
    "$@"
)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The documents must read and write the same numbers under a host's decimal-comma locale; the test
# of that needs one such locale, which a fresh machine does not have.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    $SUDO localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
