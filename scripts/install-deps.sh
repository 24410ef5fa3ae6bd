#!/usr/bin/env bash
# Installs what building and testing Tavaren needs on Debian 12, from Debian's own archive.
# Idempotent: when every package is already installed it does nothing (not even an apt-get update).
# Runs as root, or through sudo otherwise. Never asks a question.
set -euo pipefail

packages=(
    # cross compilers for the 32-bit release and the 64-bit test build, and the resource compiler
    g++-mingw-w64-i686-posix
    g++-mingw-w64-x86-64-posix
    mingw-w64-tools
    # the build
    cmake
    make
    googletest
    # the native sanitizer and fuzzer build
    clang
    libclang-rt-14-dev
    # running the Windows build: Wine, a virtual X server and a robot user
    wine
    wine64
    xvfb
    xdotool
    x11-xserver-utils
    x11-utils
    # a display with many modes and refresh rates for the Direct3D 9 tests
    xserver-xorg-core
    xserver-xorg-video-dummy
    # the benchmark's X event probe
    libx11-dev
    libxtst-dev
    # screenshots (xwd, then netpbm's converters to PNG)
    x11-apps
    netpbm
    # the end-to-end driver and the demo portal
    python3
    # locks (flock) and process tools used by the scripts
    util-linux
    procps
)

missing=()
for package in "${packages[@]}"; do
    status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
    if [ "$status" != "install ok installed" ]; then
        missing+=("$package")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo -n)
else
    echo "install-deps: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}" </dev/null
