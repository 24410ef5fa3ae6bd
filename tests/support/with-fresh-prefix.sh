#!/usr/bin/env bash
# Runs a command (a CTest run) in a Wine prefix made anew for it:
#   with-fresh-prefix.sh PREFIX COMMAND [ARGS...]
# Removes PREFIX and the prefixes made beside it by earlier runs (the end-to-end copies, the dummy X
# server's), makes and boots it with whatever Wine this machine or root has, and keeps a wineserver and
# Wine's services running while the command runs, so that no test waits for them to start. Stops them
# afterwards. Exits with the command's status.
set -u
export WINEPREFIX="${1:?usage: with-fresh-prefix.sh PREFIX COMMAND [ARGS...]}"
shift
# shellcheck source=wine-prefix.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"

wine_prefix_remove
# However the command ends, no wineserver of these prefixes outlives it.
trap wine_prefix_stop EXIT
trap 'exit 130' INT TERM
wine_prefix_ready || exit 1
wine_prefix_start
"$@"
