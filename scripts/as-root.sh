#!/usr/bin/env bash
# Sourced by the scripts that need root for a step:
#   . scripts/as-root.sh
#   root_prefix || { echo "neither root nor sudo"; exit 1; }
#   "${as_root[@]}" COMMAND...
# Sets as_root to what runs a command as root: nothing for root, otherwise sudo, which may ask for a password
# when a terminal is attached and must not need one without (sudo -n). Returns non-zero when this is not
# root and sudo is not installed.
root_prefix() {
    as_root=()
    if [ "$(id -u)" -eq 0 ]; then
        return 0
    fi
    command -v sudo >/dev/null 2>&1 || return 1
    if [ -t 0 ]; then
        as_root=(sudo)
    else
        as_root=(sudo -n)
    fi
}
