#!/usr/bin/env bash
# Boots a fresh Wine prefix ($WINEPREFIX) for the tests and sets what the tests rely on:
#  - no window manager management, so dialogs are mapped whole and hide at once under Xvfb;
#  - http URLs handed to the shell go to url-capture.sh, which appends them to $TAVAREN_URL_LOG.
# Mono and the HTML engine stay disabled, so booting never offers to download them.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix to set up}"
export WINEPREFIX WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE64=/usr/lib/wine/wine64
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wineboot -i </dev/null >/dev/null 2>&1
"$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
"$WINE64" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d "$here/url-capture.sh" /f
"$WINE64" reg add 'HKCU\Software\Wine\WineBrowser' /v Mailers /t REG_SZ /d "$here/url-capture.sh" /f
wineserver -w
