#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests (CTest's cross-compiling emulator):
#   wine-run.sh program.exe [arguments...]
# Boots the prefix on first use, keeps one wineserver alive with every stream detached (so CTest's output
# pipe is never held open by it), then hands over to Wine's loader: the program's exit code is this
# script's. 64-bit programs go to wine64; 32-bit ones to the 32-bit loader where it is installed (Debian
# 12's Wine, on a kernel that runs 32-bit programs), otherwise to wine64 too where it carries the 32-bit
# Windows DLLs (Wine 10's new WoW64 mode, in the Wine 10 root).
set -u
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/tavaren-wine-$(id -u)}"
# shellcheck source=wine-prefix.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"

[ "$#" -ge 1 ] || { echo "usage: wine-run.sh program.exe [arguments...]" >&2; exit 125; }

# The machine field of the PE header: 8664 for x86-64, 014c for x86.
machine() {
    local pe_offset
    pe_offset="$(od -A n -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')" || return 0
    [ -n "$pe_offset" ] || return 0
    od -A n -t x2 -j $((pe_offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' '
}

loader="$WINE64"
if [ "$(machine "$1")" = "014c" ]; then
    if [ -x "$WINE32" ]; then
        loader="$WINE32"
    elif ! wine64_runs_32bit_programs; then
        echo "wine-run: $1 is a 32-bit program and this Wine cannot run it: neither 32-bit Wine ($WINE32)" \
            "nor the 32-bit Windows DLLs that let wine64 run it (the Wine 10 root has them)" >&2
        exit 125
    fi
fi

wine_prefix_ready || { echo "wine-run: could not prepare $WINEPREFIX" >&2; exit 125; }
# Such a prefix answers a 32-bit program with "could not load kernel32.dll" and nothing else.
if [ "$(machine "$1")" = "014c" ] && ! prefix_runs_32bit "$WINEPREFIX"; then
    echo "wine-run: $1 is a 32-bit program and $wine32_reason: remove the prefix to have it made anew" >&2
    exit 125
fi

wine_prefix_start 30

# A test program that has printed its result is given EXIT_GRACE seconds to end. One that is still there
# then is held at its exit (by what it hosts, or by Wine), which says nothing of what it tested: it is
# ended, that is said in one line, with what else still runs in the prefix, and its result stands.
EXIT_GRACE=15
output="$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")"
"$loader" "$@" <&0 >"$output" &
program=$!
trap 'kill -KILL "$program" 2>/dev/null; rm -f "$output"; exit 143' TERM INT
tail -n +1 -s 0.1 --pid="$program" -f "$output" &
shown=$!
printed_at=""
while kill -0 "$program" 2>/dev/null; do
    if [ -z "$printed_at" ] && grep -q '^\[==========\] .* ran\.' "$output"; then
        printed_at="$SECONDS"
    fi
    if [ -n "$printed_at" ] && [ $((SECONDS - printed_at)) -ge "$EXIT_GRACE" ]; then
        others="$(pgrep -a -f 'wine|\.exe' | grep -v "^$program " | tr '\n' ';' | cut -c1-600)"
        kill -KILL "$program" 2>/dev/null
        wait "$shown" 2>/dev/null
        echo "wine-run: held at exit: ${1##*/} printed its result and had not ended $EXIT_GRACE s later;" \
            "ended it (running in the prefix then: ${others:-nothing else})" >&2
        status=1
        grep -q '^\[  PASSED  \]' "$output" && ! grep -q '^\[  FAILED  \]' "$output" && status=0
        rm -f "$output"
        exit "$status"
    fi
    sleep 0.2
done
wait "$program"
status=$?
wait "$shown" 2>/dev/null
rm -f "$output"
exit "$status"
