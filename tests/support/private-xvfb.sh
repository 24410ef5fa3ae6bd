#!/usr/bin/env bash
# Sourced by the scripts that need an X display of their own:
#   . tests/support/private-xvfb.sh
#   start_private_xvfb LOG_FILE [SCREEN] || { echo "Xvfb did not start"; exit 1; }
# Starts Xvfb on a display that no other server on this machine holds or can take while it runs, checked
# by the server's process id (x_display.py beside this file says how), with every stream redirected (so it
# never holds the caller's output pipe, or CTest's), and waits until it is up. Sets and exports DISPLAY,
# and sets xvfb_pid to the process that holds the display, for the caller to stop (kill) it. Returns
# non-zero when no such display came up within 20 s; the log then says why.

start_private_xvfb() {
    local log="$1" screen="${2:-1280x1024x24}" number_file tries=0
    number_file="$(mktemp -u)"
    python3 "$(dirname "${BASH_SOURCE[0]}")/x_display.py" serve --number-file "$number_file" --log "$log" \
        --screen "$screen" </dev/null >>"$log" 2>&1 &
    xvfb_pid=$!
    while [ ! -s "$number_file" ]; do
        tries=$((tries + 1))
        if [ "$tries" -gt 600 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
            return 1
        fi
        sleep 0.05
    done
    DISPLAY=":$(cat "$number_file")"
    export DISPLAY
    rm -f "$number_file"
}
