#!/usr/bin/env bash
# Runs a command on an X server of its own that uses the dummy video driver, so that Direct3D 9 under Wine
# reports many modes (several refresh rates a size), which Xvfb cannot offer.
#   with-dummy-xorg.sh CONFIG COMMAND [ARGS...]
# The server gets a display of its own and is stopped when the command ends. Wine
# runs in a prefix of its own (beside $WINEPREFIX), whose processes belong to this display only; its
# wineserver is stopped before the X server goes. Exits with the command's status, or 77 (the test's
# SKIP_RETURN_CODE) when no such X server can start here: Xorg is missing, or refuses to start, as it does
# for a normal user on a desktop machine whose Xorg only the console's owner may start.
set -u
skipped=77
config=${1:?usage: with-dummy-xorg.sh CONFIG COMMAND [ARGS...]}
shift
command -v Xorg >/dev/null || { echo "with-dummy-xorg: skipped: Xorg is not installed" >&2; exit "$skipped"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tavaren-dummy-x.XXXXXX")
# A display of its own, as every X server of the tests gets (tests/support/x_display.py).
python3 "$(dirname "$0")/../../support/x_display.py" serve --number-file "$work/display" \
    --log "$work/xorg.out" -- Xorg -config "$config" -noreset -nolisten tcp -logfile "$work/xorg.log" \
    </dev/null >>"$work/xorg.out" 2>&1 &
xorg=$!

stop_xorg() {
    kill "$xorg" 2>/dev/null
    wait "$xorg" 2>/dev/null
}

tries=0
while [ ! -s "$work/display" ] && [ "$tries" -lt 600 ] && kill -0 "$xorg" 2>/dev/null; do
    tries=$((tries + 1))
    sleep 0.05
done
number="$(cat "$work/display" 2>/dev/null)"
if [ -z "$number" ]; then
    echo "with-dummy-xorg: skipped: an X server with the dummy driver cannot start here; its log:" >&2
    tail -n 30 "$work/xorg.log" "$work/xorg.out" >&2 2>/dev/null
    stop_xorg
    rm -rf "$work"
    exit "$skipped"
fi

export DISPLAY=":$number"
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/tavaren-wine-$(id -u)}-dummy-x"
"$@"
status=$?

wineserver -k </dev/null >/dev/null 2>&1
stop_xorg
rm -rf "$work"
exit "$status"
