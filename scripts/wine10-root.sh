#!/usr/bin/env bash
# The Wine 10 root: a Debian 13 tree whose Wine runs 32-bit Windows programs inside 64-bit Linux processes
# (Wine 10's new WoW64 mode). No 32-bit Linux program runs in it, so the shipped 32-bit Tavaren.exe and the
# 32-bit tests run on every machine, whatever its kernel thinks of 32-bit programs.
#
#   wine10-root.sh ensure           make the root unless it is there, whole and current (needs root then)
#   wine10-root.sh run CMD [ARG...] run CMD in the root as the calling user, in the current directory
#   wine10-root.sh check            say in one line why this user cannot run commands in the root, if so
#   wine10-root.sh probe PROGRAM    the same, or why Wine 10 there cannot start PROGRAM (a 32-bit stub
#                                   exiting with 0): some kernels let 32-bit code run nowhere at all
#   wine10-root.sh path             print where the root lives
#
# Where: $TAVAREN_WINE10_ROOT, by default /var/cache/tavaren/wine10-root: outside every clone, made once
# per machine and shared by all of them. mmdebstrap makes it (about a minute, 2.1 GB); it is made again
# when a file it needs is missing or when the recipe below has changed.
#
# What is in it: Debian 13's wine and wine64 (10.0) with the 32-bit Windows DLLs of Debian's i386 libwine
# package copied in beside the 64-bit ones (the package itself is never installed: it also holds 32-bit
# Linux libraries), and what the tests run there: Xvfb, xdotool, Python, CTest, Mesa for Direct3D 9, the
# locales of the code page tests, screenshot tools.
#
# Runs: bubblewrap (bwrap) gives each run a view of its own: the root's trees read-only, device nodes of
# its own (never the machine's /dev), its own proc, /tmp, /dev/shm and home, the project at its own path
# and the machine's CMake modules read-only. Nothing it mounts outlives the run, and when the run ends every
# process it started ends with it. As root, and as an ordinary user where the kernel allows unprivileged
# user namespaces. A run holds a shared lock on the root while it lives; making or replacing the root takes
# it exclusively, so no root is replaced while in use.
set -euo pipefail

self="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")"
repo="$(cd "$(dirname "$self")/.." && pwd)"
root="${TAVAREN_WINE10_ROOT:-/var/cache/tavaren/wine10-root}"
lock="$root.lock"
# shellcheck source=../tests/support/wine32.sh
. "$repo/tests/support/wine32.sh"
# shellcheck source=as-root.sh
. "$repo/scripts/as-root.sh"
suite=trixie
# The locales whose ANSI code pages the end-to-end tests start Wine in.
mapfile -t locales < <(awk '!/^#/ && NF { print $2 }' "$repo/tests/support/wine-locales")
# Everything the tests and the demo run inside the root, besides Wine.
packages=(wine wine64 libgl1 libgl1-mesa-dri libglx-mesa0 xvfb xauth xdotool x11-utils x11-xserver-utils
    x11-apps netpbm python3 cmake procps util-linux locales xserver-xorg-core xserver-xorg-video-dummy)
# Where new WoW64 finds the 32-bit Windows DLLs (the root is whole when its 32-bit ntdll.dll is there).
i386_dlls="${WINE_I386_DLLS#/}"
# The machine's CMake modules: a build tree's test lists include them by path, so runs see them there.
cmake_modules=()
for dir in /usr/share/cmake-*; do
    [ -d "$dir/Modules" ] && cmake_modules+=("$dir")
done

say() {
    printf 'wine10-root: %s\n' "$*"
}
fail() {
    printf 'wine10-root: %s\n' "$*" >&2
    exit 1
}

# --- making the root --------------------------------------------------------------------------------------

# The Debian archive: $TAVAREN_DEBIAN_MIRROR, else the one this machine's apt uses, else Debian's own.
mirror() {
    local uri
    uri="$(sed -n 's/^URIs: *\(http[^ ]*\/debian\/*\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
        head -n 1)"
    echo "${TAVAREN_DEBIAN_MIRROR:-${uri:-http://deb.debian.org/debian}}"
}

# The recipe: what the root holds. Any change to these two functions makes every existing root out of date.
make_tree() {
    local tree="$1" mirror="$2"
    # i386 is known to apt while the tree is made, for the download below only; no i386 package is installed.
    # dpkg skips its fsync calls: the tree is written out once, before it is stamped and moved in place.
    mmdebstrap --mode=unshare --variant=minbase --architectures=amd64,i386 --include="${packages[*]}" \
        --dpkgopt=force-unsafe-io --customize-hook="\"$self\" customize \"\$1\"" "$suite" "$tree" "$mirror"
}
# Run by mmdebstrap on the new tree, with the packages installed.
customize() {
    local tree="$1" locale
    for locale in "${locales[@]}"; do
        echo "$locale ${locale#*.}"
    done >"$tree/etc/locale.gen"
    chroot "$tree" locale-gen
    # The 32-bit Windows half of Wine from the i386 libwine package of the same version, unpacked by hand:
    # installing the package would bring 32-bit Linux libraries, which not every kernel runs.
    chroot "$tree" /bin/bash -euo pipefail -c '
        version="$(dpkg-query -W -f="\${Version}" libwine)"
        mkdir -p /tmp/libwine-i386 && cd /tmp/libwine-i386
        apt-get download -q "libwine:i386=$version"
        dpkg-deb -x libwine_*_i386.deb unpacked
        mkdir -p /usr/lib/i386-linux-gnu/wine /'"$i386_dlls"'
        cp -a unpacked/usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/i386-linux-gnu/wine/
        for dll in /usr/lib/i386-linux-gnu/wine/i386-windows/*; do
            [ -e "/'"$i386_dlls"'/${dll##*/}" ] || ln -s "$dll" /'"$i386_dlls"'/
        done
        cd / && rm -rf /tmp/libwine-i386
        dpkg --remove-architecture i386'
}

# A stamp of the recipe: the root is current when its stamp matches.
recipe_stamp() {
    {
        declare -f make_tree customize
        printf '%s\n' "$suite" "${locales[@]}" "${packages[@]}" "$i386_dlls"
    } | sha256sum | cut -d' ' -f1
}

# A file of the root, its link followed as the root sees it: the 32-bit DLLs are links to absolute paths in
# the root, which this machine's "/" has only where it has 32-bit Wine too.
in_root() {
    local target
    target="$(readlink "$root$1")" || { echo "$root$1"; return; }
    case "$target" in
    /*) echo "$root$target" ;;
    *) echo "$root$(dirname "$1")/$target" ;;
    esac
}

is_whole() {
    [ -f "$root/.tavaren-root" ] && [ "$(cat "$root/.tavaren-root")" = "$(recipe_stamp)" ] &&
        [ -f "$(in_root "/$i386_dlls/ntdll.dll")" ] && [ -x "$root/usr/bin/Xvfb" ] &&
        [ -x "$root/usr/bin/ctest" ] &&
        [ -e "$root/usr/lib/wine/wine64" ] && has_mount_points
}

# A run binds the machine's CMake modules where the root's read-only /usr has a folder for them.
has_mount_points() {
    local dir
    for dir in "${cmake_modules[@]}"; do
        [ -d "$root$dir" ] || return 1
    done
}

ensure() {
    is_whole && return 0
    if [ "$(id -u)" != 0 ]; then
        local as_root
        root_prefix || fail "making the root $root needs root, and sudo is not installed"
        exec "${as_root[@]}" env ${TAVAREN_WINE10_ROOT:+TAVAREN_WINE10_ROOT="$root"} \
            ${TAVAREN_DEBIAN_MIRROR:+TAVAREN_DEBIAN_MIRROR="$TAVAREN_DEBIAN_MIRROR"} "$self" ensure
    fi
    mkdir -p "$(dirname "$root")"
    exec 9>>"$lock"
    chmod 644 "$lock"
    flock -x 9 # no run is using the root now, and no other process is making it
    is_whole && return 0
    if [ -f "$root/.tavaren-root" ] && [ "$(cat "$root/.tavaren-root")" = "$(recipe_stamp)" ] &&
        ! has_mount_points; then
        local dir
        for dir in "${cmake_modules[@]}"; do
            mkdir -p "$root$dir"
        done
        is_whole && return 0
    fi
    command -v mmdebstrap >/dev/null 2>&1 || fail "mmdebstrap is missing (scripts/install-deps.sh installs it)"
    local new="$root.new" log="$root.log" started=$SECONDS dir
    say "making the Wine 10 root in $root (Debian $suite, about a minute)"
    rm -rf --one-file-system "$new"
    if ! make_tree "$new" "$(mirror)" >"$log" 2>&1; then
        fail "could not make the root: $(grep -v '^[[:space:]]*$' "$log" | tail -n 1) (log: $log)"
    fi
    for dir in "${cmake_modules[@]}"; do
        mkdir -p "$new$dir"
    done
    sync -f "$new"
    recipe_stamp >"$new/.tavaren-root"
    rm -rf --one-file-system "$root"
    mv "$new" "$root"
    say "made $root in $((SECONDS - started)) s ($(du -sh --one-file-system "$root" | cut -f1))"
}

# --- running in the root ----------------------------------------------------------------------------------

# Says in one line why this user cannot run commands in the root (it is not made, or no sandbox starts).
check() {
    local error
    is_whole || fail "the root $root is missing or out of date: run scripts/install-deps.sh"
    command -v bwrap >/dev/null 2>&1 || fail "bubblewrap is missing (scripts/install-deps.sh installs it)"
    error="$(bwrap --ro-bind / / --unshare-pid true 2>&1 | head -n 1)" && [ -z "$error" ] && return 0
    if [ "$(id -u)" = 0 ]; then
        fail "bubblewrap cannot run commands in the root here (${error:-it failed})"
    fi
    fail "cannot run commands in the Wine 10 root as $(id -un): bubblewrap needs unprivileged user" \
        "namespaces, which this machine does not allow (${error:-it failed}); run it as root (sudo)," \
        "or allow them: sysctl -w kernel.unprivileged_userns_clone=1 user.max_user_namespaces=10000"
}

# The variables of the caller's environment that a command in the root sees too.
passed_variables() {
    compgen -e | grep -E '^(TAVAREN_[A-Z0-9_]*|WINE[A-Z]*|DISPLAY|CI|TERM|TZ|LANG|LC_[A-Z]*)$' || true
}

run() {
    [ "$#" -gt 0 ] || fail "usage: wine10-root.sh run COMMAND [ARGUMENT...]"
    check
    local uid name home args=() entry top environment=() workdir=/
    uid="$(id -u)"
    name="$(id -un 2>/dev/null || echo player)"
    # The root's trees read-only, the rest of its top level as it is (its links into /usr).
    for entry in "$root"/*; do
        top="/${entry##*/}"
        case "$top" in
        /dev | /proc | /sys | /tmp | /run | /home | /root | /mnt | /media) ;;
        *)
            if [ -L "$entry" ]; then
                args+=(--symlink "$(readlink "$entry")" "$top")
            elif [ -d "$entry" ] && [ -n "$(ls -A "$entry")" ]; then
                args+=(--ro-bind "$entry" "$top")
            fi
            ;;
        esac
    done
    args+=(--dev /dev --proc /proc --tmpfs /dev/shm --tmpfs /tmp --tmpfs /var/tmp --tmpfs /run)
    # The caller's name in this run's view alone: Wine asks who the user is.
    if [ "$uid" = 0 ]; then
        home=/root
    else
        home="/home/$name"
    fi
    args+=(--tmpfs "$home")
    # The project at its own path, so that the build trees' absolute paths hold inside, and the machine's
    # CMake modules read-only.
    args+=(--bind "$repo" "$repo")
    for entry in "${cmake_modules[@]}"; do
        args+=(--ro-bind "$entry" "$entry")
    done
    case "$PWD/" in
    "$repo"/*) workdir="$PWD" ;;
    esac
    environment=(HOME="$home" USER="$name" PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin LANG=C.UTF-8)
    while IFS= read -r entry; do
        environment+=("$entry=${!entry}")
    done < <(passed_variables)
    # The caller's X authority, for a display that asks for one (the root has no such file of its own).
    local cookie="${XAUTHORITY:-${HOME:-/}/.Xauthority}"
    if [ -n "${DISPLAY:-}" ] && [ -f "$cookie" ]; then
        args+=(--ro-bind "$cookie" /tmp/.tavaren-xauthority)
        environment+=(XAUTHORITY=/tmp/.tavaren-xauthority)
    fi
    exec 9<"$lock"
    # Held, through every process of the run, until the last one ends.
    flock -s 9
    exec bwrap "${args[@]}" --ro-bind-data 8 /etc/passwd --unshare-pid --die-with-parent --chdir "$workdir" \
        -- /usr/bin/env -i "${environment[@]}" "$@" \
        8< <(grep -v "^[^:]*:[^:]*:$uid:" "$root/etc/passwd"; echo "$name:x:$uid:$(id -g)::$home:/bin/sh")
}

# PROGRAM runs under Wine 10 in the root, in a scratch folder and prefix.
probe() {
    local program="$1" scratch="$repo/build/probe32" status=0
    check
    rm -rf "$scratch" && mkdir -p "$scratch"
    (cd "$scratch" && run "$repo/tests/support/with-fresh-prefix.sh" "$scratch/wineprefix" \
        /usr/lib/wine/wine64 "$program" </dev/null >/dev/null 2>&1) || status=$?
    rm -rf "$scratch"
    [ "$status" = 0 ] || fail "Wine 10 in the root does not start a 32-bit program here either" \
        "(${program##*/} exits with $status)"
}

case "${1:-}" in
ensure)
    ensure
    ;;
run)
    shift
    run "$@"
    ;;
check)
    check
    ;;
probe)
    probe "${2:?usage: wine10-root.sh probe PROGRAM}"
    ;;
path)
    echo "$root"
    ;;
customize) # called by mmdebstrap
    customize "$2"
    ;;
*)
    echo "usage: wine10-root.sh ensure | run COMMAND [ARGUMENT...] | check | probe PROGRAM | path" >&2
    exit 2
    ;;
esac
