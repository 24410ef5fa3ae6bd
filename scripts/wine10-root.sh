#!/usr/bin/env bash
# The Wine 10 root: a Debian 13 tree whose Wine runs 32-bit Windows programs inside 64-bit Linux processes
# (Wine 10's new WoW64 mode). No 32-bit Linux program runs in it, so the shipped 32-bit Tavaren.exe and the
# 32-bit tests run on every machine, whatever its kernel thinks of 32-bit programs.
#
#   wine10-root.sh ensure           make the root unless it is there, whole and current
#   wine10-root.sh run CMD [ARG...] run CMD in the root as the calling user, in the current directory
#   wine10-root.sh path             print where the root lives
#
# Where: $TAVAREN_WINE10_ROOT, by default /var/cache/tavaren/wine10-root: outside every clone, made once
# per machine and shared by all of them. Making it takes a minute or two and about 2.1 GB; it is made again
# when a file it needs is missing or when the recipe below has changed.
#
# What is in it: Debian 13's wine and wine64 (10.0) with the 32-bit Windows DLLs of Debian's i386 libwine
# package copied in beside the 64-bit ones (the package itself is never installed: it also holds 32-bit
# Linux libraries), and what the tests run there: Xvfb, xdotool, Python, CTest, Mesa for Direct3D 9, the
# locales of the code page tests, screenshot tools.
#
# Safety: the root has device nodes of its own (mknod), never a bind mount of the machine's /dev. Whatever a
# run or the making mounts (proc, devpts, a tmpfs on /dev/shm, the project) is mounted in a mount namespace
# of its own: it never shows in the machine's mount table, the kernel drops it when the last process of the
# run ends, however it ends, and it is unmounted on the way out all the same. A run holds a shared lock on
# the root for as long as any of its processes lives; making, replacing or removing the root takes the lock
# exclusively, so two runs never trip over each other and no root is removed while in use. Nothing removes
# a tree that has anything mounted on it.
#
# Needs root: run as root, or through sudo (which may ask for a password on a terminal and must not need
# one without). Commands in the root run as the user who called this script.
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

say() {
    printf 'wine10-root: %s\n' "$*"
}
fail() {
    printf 'wine10-root: %s\n' "$*" >&2
    exit 1
}

# --- privileges -------------------------------------------------------------------------------------------

# The variables of the caller's environment that a command in the root sees too.
passed_variables() {
    compgen -e | grep -E '^(TAVAREN_[A-Z0-9_]*|WINE[A-Z]*|DISPLAY|CI|TERM|TZ|LANG|LC_[A-Z]*)$' || true
}

# Runs this script again as root through sudo, telling it who called it. The variables that a run hands to
# its command travel as arguments of env, since sudo resets the environment.
become_root() {
    local as_root assignments=() name
    root_prefix || fail "needs root, and sudo is not installed"
    if [ "${#as_root[@]}" -eq 0 ]; then
        return 0
    fi
    while IFS= read -r name; do
        assignments+=("$name=${!name}")
    done < <(passed_variables)
    exec "${as_root[@]}" env "${assignments[@]}" TAVAREN_CALLER="$(id -u):$(id -g)" "$self" "$@"
}

# --- the device nodes and mounts of a tree ----------------------------------------------------------------

make_devices() {
    local dev="$1/dev"
    mkdir -p "$dev/pts" "$dev/shm"
    local name major minor
    while read -r name major minor; do
        [ -c "$dev/$name" ] || { rm -f "$dev/$name"; mknod -m 666 "$dev/$name" c "$major" "$minor"; }
    done <<EOF
null 1 3
zero 1 5
full 1 7
random 1 8
urandom 1 9
tty 5 0
EOF
    ln -sfn pts/ptmx "$dev/ptmx"
    ln -sfn /proc/self/fd "$dev/fd"
    ln -sfn /proc/self/fd/0 "$dev/stdin"
    ln -sfn /proc/self/fd/1 "$dev/stdout"
    ln -sfn /proc/self/fd/2 "$dev/stderr"
}

# Mounts recorded in the order they were made, for unmounting in the reverse order.
mounted=()
mount_into() {
    local target="$1"
    shift
    mount "$@" "$target"
    mounted+=("$target")
}
mount_basics() {
    mount_into "$1/proc" -t proc proc
    mount_into "$1/dev/pts" -t devpts -o newinstance,ptmxmode=0666 devpts
    mount_into "$1/dev/shm" -t tmpfs tmpfs
}
# Ends every other process of this mount namespace, then unmounts what this process mounted.
release_namespace() {
    local own pid i
    own="$(readlink /proc/$$/ns/mnt)"
    for pid in /proc/[0-9]*; do
        pid="${pid#/proc/}"
        [ "$pid" != $$ ] && [ "$(readlink "/proc/$pid/ns/mnt" 2>/dev/null)" = "$own" ] &&
            kill -9 "$pid" 2>/dev/null || true
    done
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
    done
    mounted=()
}

# How a new mount namespace is cut off from this one, so that nothing mounted in it reaches this one:
# unshare makes every mount private. Inside a chroot "/" is no mount of its own and cannot be made private;
# there a namespace keeps the propagation it has, which is safe only where no mount shares its events with
# another (checked in the machine's view too, for the mount that holds the chroot).
namespace_propagation() {
    if mountpoint -q /; then
        echo private
    elif grep -q ' shared:' /proc/self/mountinfo /proc/1/mountinfo 2>/dev/null; then
        fail "cannot keep the root's mounts to itself: this chroot lies on a mount that is shared with others"
    else
        echo unchanged
    fi
}

has_mounts() {
    grep -q " $1[/ ]" /proc/mounts
}
remove_tree() {
    [ -e "$1" ] || return 0
    if has_mounts "$1"; then
        fail "$1 still has mounts: left in place"
    fi
    rm -rf --one-file-system "$1"
}

# --- making the root --------------------------------------------------------------------------------------

# The Debian archive: $TAVAREN_DEBIAN_MIRROR, else the one this machine's apt uses, else Debian's own.
mirror() {
    local uri
    uri="$(sed -n 's/^URIs: *\(http[^ ]*\/debian\/*\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
        head -n 1)"
    echo "${TAVAREN_DEBIAN_MIRROR:-${uri:-http://deb.debian.org/debian}}"
}

# The recipe, run inside a namespace of its own on a new tree: what the root holds. Any change to this
# function makes every existing root out of date.
make_tree() {
    local tree="$1" mirror="$2"
    debootstrap --variant=minbase "$suite" "$tree" "$mirror" ||
        { echo "debootstrap of Debian $suite from $mirror failed"; return 1; }
    make_devices "$tree"
    mount_basics "$tree"
    cp /etc/resolv.conf "$tree/etc/resolv.conf" 2>/dev/null || true
    local locale
    for locale in "${locales[@]}"; do
        echo "$locale ${locale#*.}"
    done >"$tree/etc/locale.gen"
    chroot "$tree" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
        /bin/bash -euo pipefail -c '
        apt-get update -q
        apt-get install -y -q --no-install-recommends '"${packages[*]}"'
        # The 32-bit Windows half of Wine from the i386 libwine package of the same version, unpacked by
        # hand: installing the package would bring 32-bit Linux libraries, which not every kernel runs.
        version="$(dpkg-query -W -f="\${Version}" libwine)"
        dpkg --add-architecture i386
        apt-get update -q
        mkdir -p /tmp/libwine-i386 && cd /tmp/libwine-i386
        apt-get download "libwine:i386=$version"
        dpkg --remove-architecture i386
        apt-get update -q
        dpkg-deb -x libwine_*_i386.deb unpacked
        mkdir -p /usr/lib/i386-linux-gnu/wine
        cp -a unpacked/usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/i386-linux-gnu/wine/
        mkdir -p /'"$i386_dlls"'
        for dll in /usr/lib/i386-linux-gnu/wine/i386-windows/*; do
            [ -e "/'"$i386_dlls"'/${dll##*/}" ] || ln -s "$dll" /'"$i386_dlls"'/
        done
        cd / && rm -rf /tmp/libwine-i386
        apt-get clean
        rm -rf /var/lib/apt/lists/*'
}

# A stamp of the recipe: the root is current when its stamp matches.
recipe_stamp() {
    {
        declare -f make_tree
        printf '%s\n' "$suite" "${locales[@]}" "${packages[@]}" "$i386_dlls"
    } | sha256sum | cut -d' ' -f1
}

is_whole() {
    [ -f "$root/.tavaren-root" ] && [ "$(cat "$root/.tavaren-root")" = "$(recipe_stamp)" ] &&
        [ -f "$root/$i386_dlls/ntdll.dll" ] && [ -x "$root/usr/bin/Xvfb" ] && [ -x "$root/usr/bin/ctest" ] &&
        [ -e "$root/usr/lib/wine/wine64" ]
}

ensure() {
    mkdir -p "$(dirname "$root")"
    exec 9>"$lock"
    flock -s 9
    if is_whole; then
        return 0
    fi
    flock -u 9
    flock -x 9 # no run is using the root now, and no other process is making it
    if is_whole; then
        return 0
    fi
    command -v debootstrap >/dev/null 2>&1 || fail "debootstrap is missing (scripts/install-deps.sh installs it)"
    local new="$root.new" log="$root.log" started=$SECONDS
    say "making the Wine 10 root in $root (Debian $suite, a minute or two)"
    remove_tree "$new"
    local propagation
    propagation="$(namespace_propagation)"
    if ! unshare --mount --propagation "$propagation" -- "$self" make-tree "$new" "$(mirror)" >"$log" 2>&1; then
        fail "could not make the root: $(grep -v '^[[:space:]]*$' "$log" | tail -n 1) (log: $log)"
    fi
    recipe_stamp >"$new/.tavaren-root"
    if [ -e "$root" ]; then
        remove_tree "$root"
    fi
    mv "$new" "$root"
    say "made $root in $((SECONDS - started)) s ($(du -sh --one-file-system "$root" | cut -f1))"
}

# --- running in the root ----------------------------------------------------------------------------------

# Inside a fresh mount namespace: mounts what a run needs, runs the command as the caller, cleans up.
run_inside() {
    local caller="$1" workdir="$2"
    shift 2
    local uid="${caller%%:*}" gid="${caller##*:}" home status=0
    trap 'release_namespace' EXIT
    trap 'exit 130' INT TERM
    mount_basics "$root"
    # The project at its own path, so that the build trees' absolute paths hold inside.
    mkdir -p "$root$repo"
    mount_into "$root$repo" --bind "$repo"
    # The build trees' test lists include modules of the machine's CMake by their path; the root's CTest
    # reads them there, read-only.
    local modules
    for modules in /usr/share/cmake-*; do
        if [ -d "$modules/Modules" ] && [ ! -e "$root$modules/Modules" ]; then
            mkdir -p "$root$modules"
            mount_into "$root$modules" --bind "$modules"
            mount -o remount,bind,ro "$root$modules"
        fi
    done
    if [ "$uid" = 0 ]; then
        home=/root
    else
        home="/tmp/tavaren-home-$uid"
        # The caller's name in this run's view of the root alone: Wine asks who the user is.
        if ! grep -q "^[^:]*:[^:]*:$uid:" "$root/etc/passwd"; then
            local passwd
            passwd="$(mktemp)"
            cat "$root/etc/passwd" >"$passwd"
            echo "$(id -un "$uid" 2>/dev/null || echo player):x:$uid:$gid::$home:/bin/sh" >>"$passwd"
            chmod 644 "$passwd"
            mount_into "$root/etc/passwd" --bind "$passwd"
            rm -f "$passwd"
        fi
    fi
    mkdir -p "$root$home"
    chown "$uid:$gid" "$root$home"
    local environment=(HOME="$home" PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin LANG=C.UTF-8) name
    while IFS= read -r name; do
        [ "$name" = TAVAREN_CALLER ] || environment+=("$name=${!name}")
    done < <(passed_variables)
    # The caller's X authority, for a display that asks for one (the root has no such file of its own).
    if [ -n "${TAVAREN_XAUTHORITY:-}" ] && [ -f "$TAVAREN_XAUTHORITY" ]; then
        local cookie="/tmp/.tavaren-xauthority-$uid"
        touch "$root$cookie"
        mount_into "$root$cookie" --bind "$TAVAREN_XAUTHORITY"
        environment+=(XAUTHORITY="$cookie")
    fi
    [ -d "$root$workdir" ] || workdir=/
    chroot "$root" /usr/bin/setpriv --reuid="$uid" --regid="$gid" --clear-groups \
        /usr/bin/env -i "${environment[@]}" /bin/sh -c 'cd "$1" && shift && exec "$@"' sh "$workdir" "$@" ||
        status=$?
    return "$status"
}

run() {
    [ "$#" -gt 0 ] || fail "usage: wine10-root.sh run COMMAND [ARGUMENT...]"
    local caller="${TAVAREN_CALLER:-$(id -u):$(id -g)}"
    is_whole || fail "the root $root is missing or out of date: run scripts/install-deps.sh"
    exec 9>"$lock"
    # Held, through every process of the run, until the last one ends.
    flock -s 9
    local propagation
    propagation="$(namespace_propagation)"
    exec unshare --mount --propagation "$propagation" -- "$self" run-inside "$caller" "$PWD" "$@"
}

case "${1:-}" in
ensure)
    become_root "$@"
    ensure
    ;;
run)
    shift
    if [ -n "${DISPLAY:-}" ] && [ -z "${TAVAREN_XAUTHORITY:-}" ]; then
        export TAVAREN_XAUTHORITY="${XAUTHORITY:-${HOME:-/}/.Xauthority}"
    fi
    become_root run "$@"
    run "$@"
    ;;
path)
    echo "$root"
    ;;
make-tree) # inside the namespace that ensure made
    trap 'release_namespace' EXIT
    make_tree "$2" "$3"
    ;;
run-inside) # inside the namespace that run made
    shift
    run_inside "$@"
    ;;
*)
    echo "usage: wine10-root.sh ensure | run COMMAND [ARGUMENT...] | path" >&2
    exit 2
    ;;
esac
