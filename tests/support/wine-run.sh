#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests (CTest's cross-compiling emulator):
#   wine-run.sh program.exe [arguments...]
# Boots the prefix on first use, keeps one wineserver alive with every stream detached (so CTest's output
# pipe is never held open by it), then hands over to Wine's loader: the program's exit code is this
# script's. 64-bit programs go to wine64; 32-bit ones to the 32-bit loader where it is installed (Debian
# 12's Wine, on a kernel that runs 32-bit programs), otherwise to wine64 too where it carries the 32-bit
# Windows DLLs (Wine 10's new WoW64 mode, in the root of scripts/wine10-root.sh).
set -u
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/tavaren-wine-$(id -u)}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if [ "$#" -lt 1 ]; then
    echo "usage: wine-run.sh program.exe [arguments...]" >&2
    exit 125
fi

# The machine field of the PE header: 8664 for x86-64, 014c for x86.
machine() {
    local pe_offset
    pe_offset="$(od -A n -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')" || return 0
    [ -n "$pe_offset" ] || return 0
    od -A n -t x2 -j $((pe_offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' '
}

# shellcheck source=wine32.sh
. "$here/wine32.sh"
WINE64=/usr/lib/wine/wine64
loader="$WINE64"
if [ "$(machine "$1")" = "014c" ]; then
    if [ -x "$WINE32" ]; then
        loader="$WINE32"
    elif ! wine64_runs_32bit_programs; then
        echo "wine-run: $1 is a 32-bit program and this Wine cannot run it: neither 32-bit Wine ($WINE32)" \
            "nor the 32-bit Windows DLLs that let wine64 run it (scripts/wine10-root.sh makes a root with them)" >&2
        exit 125
    fi
fi

"$here/wine-prefix-ready.sh" || { echo "wine-run: could not prepare $WINEPREFIX" >&2; exit 125; }
# Such a prefix answers a 32-bit program with "could not load kernel32.dll" and nothing else.
if [ "$(machine "$1")" = "014c" ] && ! prefix_runs_32bit "$WINEPREFIX"; then
    echo "wine-run: $1 is a 32-bit program and $wine32_reason: remove the prefix to have it made anew" >&2
    exit 125
fi

# Is Wine's service manager already running in this prefix? Only this user's processes can be: another
# user's environment cannot be read (and saying so would reach the program's output).
services_running() {
    local pid
    for pid in $(pgrep -u "$(id -u)" -f 'system32.services\.exe' 2>/dev/null); do
        if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            return 0
        fi
    done
    return 1
}

wineserver -p30 </dev/null >/dev/null 2>&1
# The first Wine program of a session starts Wine's services, which inherit its streams and outlive it.
# Started here with every stream detached, they never hold the caller's pipe (CTest would wait for them).
if ! services_running; then
    "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
fi
exec "$loader" "$@"
