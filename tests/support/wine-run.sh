#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine for the tests (CTest's cross-compiling emulator).
# Boots the prefix on first use, keeps one wineserver alive with every stream detached (so CTest's output
# pipe is never held open by it), then hands over to wine64.
set -u
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/tavaren-wine-$(id -u)}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
WINE64=/usr/lib/wine/wine64
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

mkdir -p "$WINEPREFIX"
(
    flock 9
    if [ ! -f "$WINEPREFIX/.tavaren-ready" ]; then
        "$here/wine-prefix-setup.sh" </dev/null >/dev/null 2>&1 || exit 1
        touch "$WINEPREFIX/.tavaren-ready"
    fi
) 9>"$WINEPREFIX.lock" || { echo "wine-run: could not prepare $WINEPREFIX" >&2; exit 125; }

wineserver -p30 </dev/null >/dev/null 2>&1
exec "$WINE64" "$@"
