#!/usr/bin/env bash
# Sourced (with wine32.sh beside it) wherever Windows programs run under Wine: the one place a prefix is
# made and booted. Each function works on $WINEPREFIX, which the caller sets:
#   wine_prefix_ready           boot the prefix and set it up for the tests, once
#   wine_prefix_start [SECONDS] start its wineserver and Wine's services before programs run
#   wine_prefix_stop            stop the wineservers of it and of the dummy X server's prefix beside it
#   wine_prefix_remove          stop them and remove both prefixes, the end-to-end copies, locks and logs
# Exports the settings every run uses, unless the caller chose others: no debug output, Mono and the HTML
# engine disabled (so booting never offers to download them), 64-bit prefixes.
wine_support="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source-path=SCRIPTDIR source-path=SCRIPTDIR/../tests/support source=wine32.sh
. "$wine_support/wine32.sh"
WINE64=/usr/lib/wine/wine64
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}" WINEARCH=win64

# Boots a fresh prefix and sets what the tests rely on:
#  - no window manager management, so dialogs are mapped whole and hide at once under Xvfb;
#  - http URLs handed to the shell go to url-capture.sh, which appends them to $TAVAREN_URL_LOG.
wine_prefix_setup() (
    export WINEDEBUG=-all
    capture="$wine_support/url-capture.sh"
    wineboot -i </dev/null >/dev/null 2>&1 &&
        "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f &&
        "$WINE64" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d "$capture" /f &&
        "$WINE64" reg add 'HKCU\Software\Wine\WineBrowser' /v Mailers /t REG_SZ /d "$capture" /f &&
        wineserver -w
)

# Makes sure the prefix is booted and set up, setting it up once. Safe from several processes at once: the
# first one sets the prefix up under a lock, the others wait for it. Prints nothing on success; on failure
# it prints the end of the setup log.
wine_prefix_ready() (
    mkdir -p "$(dirname "$WINEPREFIX")" && exec 9>"$WINEPREFIX.lock" && flock 9 || exit 1
    [ ! -f "$WINEPREFIX/.tavaren-ready" ] || exit 0
    # Setting up again is harmless: a prefix left half-built by an interrupted run is completed.
    mkdir -p "$WINEPREFIX" || exit 1
    # Without the lock: the wineserver the setup starts must not hold it.
    if ! wine_prefix_setup </dev/null >"$WINEPREFIX.setup.log" 2>&1 9>&-; then
        echo "wine-prefix: could not prepare $WINEPREFIX (see $WINEPREFIX.setup.log), which ends:" >&2
        tail -n 20 "$WINEPREFIX.setup.log" >&2
        exit 1
    fi
    touch "$WINEPREFIX/.tavaren-ready"
)

# Is Wine's service manager already running in this prefix? Only this user's processes can be: another
# user's environment cannot be read (and saying so would reach the program's output).
wine_services_running() {
    local pid
    for pid in $(pgrep -u "$(id -u)" -f 'system32.services\.exe' 2>/dev/null); do
        if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            return 0
        fi
    done
    return 1
}

# Keeps a wineserver alive (SECONDS after its last client, or until stopped without them) and starts Wine's
# services unless they run, every stream detached. The first Wine program of a session starts the services,
# which inherit its streams and outlive it: started here, they never hold the caller's output pipe (CTest
# would wait for them), and no program waits for them to start.
# shellcheck disable=SC2120 # SECONDS is optional
wine_prefix_start() {
    wineserver -p"${1:-}" </dev/null >/dev/null 2>&1 || true
    wine_services_running || "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
}

wine_prefix_stop() {
    local prefix
    for prefix in "$WINEPREFIX" "$WINEPREFIX-dummy-x"; do
        WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true
    done
}

wine_prefix_remove() {
    wine_prefix_stop
    rm -rf "$WINEPREFIX" "$WINEPREFIX.e2e" "$WINEPREFIX.lock" "$WINEPREFIX.setup.log" \
        "$WINEPREFIX-dummy-x" "$WINEPREFIX-dummy-x.lock" "$WINEPREFIX-dummy-x.setup.log"
}
