#!/usr/bin/env bash
# Runs a command (a CTest run) in a Wine prefix made anew for it:
#   with-fresh-prefix.sh PREFIX COMMAND [ARGS...]
# Removes PREFIX and the prefixes made beside it by earlier runs (the end-to-end copies, the dummy X
# server's), makes and boots it with whatever Wine this machine or root has, and keeps a wineserver and
# Wine's services running while the command runs: started here with every stream detached, they never
# hold the command's output pipe, and no test waits for them to start. Stops them afterwards. Exits with
# the command's status.
set -u
prefix="${1:?usage: with-fresh-prefix.sh PREFIX COMMAND [ARGS...]}"
shift
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}"

stop_servers() {
    local old
    for old in "$prefix" "$prefix-dummy-x"; do
        WINEPREFIX="$old" wineserver -k </dev/null >/dev/null 2>&1
    done
}

stop_servers
rm -rf "$prefix" "$prefix.e2e" "$prefix.lock" "$prefix.setup.log" \
    "$prefix-dummy-x" "$prefix-dummy-x.lock" "$prefix-dummy-x.setup.log"
# However the command ends, no wineserver of these prefixes outlives it.
trap stop_servers EXIT
trap 'exit 130' INT TERM
if ! "$here/wine-prefix-ready.sh"; then
    exit 1
fi
wineserver -p </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1

"$@"
