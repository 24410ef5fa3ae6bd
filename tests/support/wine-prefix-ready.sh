#!/usr/bin/env bash
# Makes sure the Wine prefix in $WINEPREFIX (default: the one wine-run.sh uses) is booted and set up for
# the tests, preparing it once with wine-prefix-setup.sh. Safe to run from several processes at once: the
# first one prepares the prefix under a lock, the others wait for it. Prints nothing on success.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/tavaren-wine-$(id -u)}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.tavaren-ready" ]; then
    # Setting up again is harmless: a prefix left half-built by an interrupted run is completed.
    mkdir -p "$WINEPREFIX"
    if ! "$here/wine-prefix-setup.sh" </dev/null >"$WINEPREFIX.setup.log" 2>&1 9>&-; then
        echo "wine-prefix-ready: could not prepare $WINEPREFIX (see $WINEPREFIX.setup.log), which ends:" >&2
        tail -n 20 "$WINEPREFIX.setup.log" >&2
        exit 1
    fi
    touch "$WINEPREFIX/.tavaren-ready"
fi
