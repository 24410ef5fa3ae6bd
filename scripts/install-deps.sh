#!/usr/bin/env bash
# Installs what building and testing Tavaren needs on Debian 12, from Debian's own archive.
# Where this machine runs 32-bit programs (tried with a tiny static 32-bit program, see
# tests/support/wine32.sh) it adds the i386 architecture and installs 32-bit Wine and the 32-bit Mesa that
# its Direct3D 9 needs; where it does not, it says so in one line and installs the rest.
# It also generates the locales the end-to-end tests start Wine in (listed in tests/support/wine-locales).
# Then it makes the Wine 10 root, in which the 32-bit builds run wherever a 64-bit process can run 32-bit
# code (scripts/wine10-root.sh: made once per machine, kept outside the clone, remade when broken or out of
# date); where no 32-bit code runs at all it says so and makes none.
# With --no-wine10-root it leaves the root as it is (scripts/run.sh makes it only where it uses it).
# Idempotent: when every package and locale is already there it installs nothing (not even an apt-get
# update).
# Needs root only when something is missing: it runs as root, or through sudo otherwise (sudo may ask for a
# password when a terminal is attached, and must not need one without). apt-get never asks a question. Once
# it has run, scripts/test.sh and scripts/run.sh run as an ordinary user.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
make_root=true
if [ "${1:-}" = --no-wine10-root ]; then
    make_root=false
fi
# shellcheck source=../tests/support/wine32.sh
. "$repo/tests/support/wine32.sh"
# shellcheck source=as-root.sh
. "$repo/scripts/as-root.sh"

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
    # the end-to-end driver, the demo portal and the release package
    python3
    # the check of the release exe's PE image (packaging/check_pe.py)
    python3-pefile
    # the release: its date from the last commit, Authenticode signing, the tests' throwaway certificate
    git
    osslsigncode
    openssl
    # the locales of tests/support/wine-locales (locale-gen)
    locales
    # locks (flock) and process tools used by the scripts
    util-linux
    procps
    # the Wine 10 root (scripts/wine10-root.sh): making it, and running commands in it
    mmdebstrap
    bubblewrap
)

add_i386=false
packages_32=()
if kernel_runs_32bit "${TMPDIR:-/tmp}"; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        add_i386=true
    fi
    # 32-bit Wine, and the OpenGL that its Direct3D 9 is built on (without it Direct3DCreate9 fails).
    packages_32=(wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386)
else
    echo "install-deps: no 32-bit Wine 8: $wine32_reason; 32-bit programs run under Wine 10 in its root alone"
fi

# Sets missing to those of the packages named that are not installed.
find_missing() {
    local package status
    missing=()
    for package in "$@"; do
        status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
        if [ "$status" != "install ok installed" ]; then
            missing+=("$package")
        fi
    done
}
find_missing "${packages[@]}"
required=("${missing[@]}")
find_missing "${packages_32[@]}"
missing_32=("${missing[@]}")
missing=("${required[@]}" "${missing_32[@]}")

# The locales of tests/support/wine-locales that are not generated yet; `locale -a` spells "ja_JP.UTF-8" as
# "ja_JP.utf8".
missing_locales=()
while read -r _ locale; do
    if ! locale -a 2>/dev/null | grep -qixF "${locale%%.*}.$(echo "${locale#*.}" | tr -d -- -)"; then
        missing_locales+=("$locale")
    fi
done < <(grep -Ev '^(#|[[:space:]]*$)' "$repo/tests/support/wine-locales")

apt_install() {
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "$@" </dev/null
}

# Installs the missing packages and generates the missing locales, as root or through sudo.
install_missing() {
    local as_root locale line try
    if ! root_prefix; then
        echo "install-deps: these are missing and neither root nor sudo is available:" \
            "${missing[*]} ${missing_locales[*]}" >&2
        exit 1
    fi

    if [ "$add_i386" = true ]; then
        echo "install-deps: adding the i386 architecture for 32-bit Wine"
        "${as_root[@]}" dpkg --add-architecture i386 </dev/null
    fi
    if [ "${#missing[@]}" -gt 0 ] || [ "$add_i386" = true ]; then
        echo "install-deps: installing ${missing[*]}"
        # A mirror caught mid-sync fails an index ("File has unexpected size"): wait and ask again; after
        # the last try apt goes on with the lists it has, and the install says what it cannot find.
        for try in 1 2 3; do
            "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null && break
            [ "$try" = 3 ] || sleep $((try * 15))
        done
        if [ "${#required[@]}" -gt 0 ]; then
            apt_install "${required[@]}"
        fi
        # 32-bit Wine only widens what runs: where the archive cannot give it now (an i386 index missing
        # leaves its libraries behind the 64-bit ones), the 32-bit suites say that they did not run, and the
        # next run tries again.
        if [ "${#missing_32[@]}" -gt 0 ] && ! apt_install "${missing_32[@]}"; then
            echo "install-deps: 32-bit Wine could not be installed from Debian's archive now (see apt's" \
                "words above); the suites that need it will say that they did not run"
        fi
    fi
    if [ "${#missing_locales[@]}" -gt 0 ]; then
        # locale-gen makes the locales enabled in /etc/locale.gen (and drops any other it made before): each
        # one is enabled there, where it is listed commented out, or added.
        echo "install-deps: generating the locales ${missing_locales[*]}"
        for locale in "${missing_locales[@]}"; do
            line="$locale ${locale#*.}"
            if ! grep -qxF "$line" /etc/locale.gen 2>/dev/null; then
                if grep -qx "# *$line" /etc/locale.gen 2>/dev/null; then
                    "${as_root[@]}" sed -i "s/^# *$line\$/$line/" /etc/locale.gen
                else
                    echo "$line" | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
                fi
            fi
        done
        "${as_root[@]}" locale-gen </dev/null
    fi
}

if [ "${#missing[@]}" -gt 0 ] || [ "$add_i386" = true ] || [ "${#missing_locales[@]}" -gt 0 ]; then
    install_missing
fi
if [ "$make_root" = true ]; then
    # The root serves only to run 32-bit code: where this machine runs none at all, it is not made.
    if cpu_runs_32bit_code "$repo/build/probe32"; then
        "$repo/scripts/wine10-root.sh" ensure
    else
        echo "install-deps: no Wine 10 root: $wine32_reason"
    fi
fi
