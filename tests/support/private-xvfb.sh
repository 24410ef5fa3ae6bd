#!/usr/bin/env bash
# Sourced by the scripts that need an X display of their own:
#   . tests/support/private-xvfb.sh
#   start_private_xvfb LOG_FILE || { echo "Xvfb did not start"; exit 1; }
# Starts Xvfb on a display number it picks itself, with every stream redirected (so it never holds the
# caller's output pipe, or CTest's), and waits until it is up. Sets and exports DISPLAY, and sets xvfb_pid
# for the caller to stop it. Returns non-zero when Xvfb did not come up within 10 s.

start_private_xvfb() {
    local log="$1" screen="${2:-1280x1024x24}" number_file tries=0
    number_file="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp </dev/null >"$log" 2>&1 3>"$number_file" &
    xvfb_pid=$!
    while ! grep -q '^[0-9][0-9]*$' "$number_file" 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -gt 200 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
            rm -f "$number_file"
            return 1
        fi
        sleep 0.05
    done
    DISPLAY=":$(cat "$number_file")"
    export DISPLAY
    rm -f "$number_file"
}
