#!/usr/bin/env bash
# Builds the shipped launcher and runs it under Wine, with a demo portal on this machine when its portal
# is local.
#
# With a reachable X display ($DISPLAY) the launcher opens there and this script waits until it is closed
# (PLAY starts a stub game that leaves game-started.txt in build/demo; CLOSE ends it too). Without one,
# it runs on a private Xvfb display, saves a screenshot to build/demo/launcher.png, and closes the launcher
# with its CLOSE button by itself.
#
# It shows the shipped 32-bit Tavaren.exe (build/release-x86): under Debian 12's 32-bit Wine where this
# machine's kernel runs 32-bit programs, otherwise under Wine 10 in the root of scripts/wine10-root.sh
# (made then, if it is not there yet), which runs it inside a 64-bit process. Where neither runs a 32-bit
# program, it shows the 64-bit build of the same sources (build/test-x64) under wine64. It says which.
#
# Wine prefix: $WINEPREFIX when set, otherwise build/demo-wineprefix (build/demo-wineprefix-wine10 in the
# root), set up on first use: URLs the launcher opens are written to build/demo/urls.log instead of going to
# a browser; made anew when it was made before 32-bit Wine was installed.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
# shellcheck source=../tests/support/private-xvfb.sh
. tests/support/private-xvfb.sh
# shellcheck source=../tests/support/wine-prefix.sh
. tests/support/wine-prefix.sh

# The 64-bit test build provides poke.exe, which reads a 32-bit launcher's window as well; the release
# build the stand-in game.
build=build/test-x64
launcher_build=build/release-x86
demo="$repo/build/demo"
support="$repo/tests/support"
stubs="$repo/$build/tests/e2e/stubs"
launcher="$repo/$launcher_build/src/app/Tavaren.exe"
game_stub="$repo/$launcher_build/bench/stub_game/_Tavaren.exe"

portal_pid=""
xvfb_pid=""
launcher_pid=""
own_prefix=false
launcher_is_32bit=true

# shellcheck disable=SC2317 # called by the EXIT trap
cleanup() {
    if [ -n "$launcher_pid" ] && kill -0 "$launcher_pid" 2>/dev/null; then
        kill "$launcher_pid" 2>/dev/null || true
    fi
    if [ "$own_prefix" = true ]; then
        wine_prefix_stop
    fi
    for pid in "$xvfb_pid" "$portal_pid"; do
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say() {
    printf 'run: %s\n' "$*"
}

# On this machine: install, build, choose the Wine. In the root, this script runs again from here on.
if [ -z "${TAVAREN_RUN_IN_ROOT:-}" ]; then
    scripts/install-deps.sh --no-wine10-root
    say "building the shipped Tavaren.exe ($launcher_build)"
    if [ ! -f "$launcher_build/CMakeCache.txt" ]; then
        cmake --preset release-x86 >/dev/null
    fi
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake --preset test-x64 >/dev/null
    fi
    cmake --build "$launcher_build" -j2 --target Tavaren BenchStubGame
    cmake --build "$build" -j2 --target tavaren_e2e_poke
    if wine32_runs "$repo/build"; then
        say "showing the shipped 32-bit Tavaren.exe under Debian 12's 32-bit Wine"
    else
        no_wine32="$wine32_reason"
        no_wine10="the Wine 10 root could not be made"
        if ! cpu_runs_32bit_code "$repo/build/probe32"; then
            no_wine10="$wine32_reason"
        elif scripts/wine10-root.sh ensure && no_wine10="$(scripts/wine10-root.sh probe "$game_stub" 2>&1)"; then
            say "showing the shipped 32-bit Tavaren.exe under Wine 10 (new WoW64) in the root" \
                "$(scripts/wine10-root.sh path): Debian 12's 32-bit Wine cannot run here, $no_wine32"
            export TAVAREN_RUN_IN_ROOT=1
            exec scripts/wine10-root.sh run scripts/run.sh
        fi
        # No Wine here runs 32-bit code: the same sources built for 64-bit Windows stand in.
        say "no Wine here runs a 32-bit program ($no_wine32; ${no_wine10#wine10-root: }):" \
            "showing the 64-bit build of the same sources ($build) under wine64 instead"
        cmake --build "$build" -j2 --target Tavaren tavaren_e2e_stub_game
        launcher_build="$build"
        launcher="$repo/$build/src/app/Tavaren.exe"
        game_stub="$stubs/_Tavaren.exe"
        launcher_is_32bit=false
    fi
fi

if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX="$repo/build/demo-wineprefix${TAVAREN_RUN_IN_ROOT:+-wine10}"
    own_prefix=true
fi
export WINEPREFIX
if [ "$launcher_is_32bit" = true ] && [ -f "$WINEPREFIX/system.reg" ] && ! prefix_runs_32bit "$WINEPREFIX"; then
    [ "$own_prefix" = true ] || { say "$wine32_reason: $launcher cannot run in it"; exit 1; }
    say "$wine32_reason: making it anew"
    wine_prefix_remove
fi

# The portal the launcher points at; the demo portal stands in for it when it is a local address (over
# TLS, with a certificate of its own, for https).
origin="$(sed -n 's/^TAVAREN_PORTAL_ORIGIN:[A-Z]*=//p' "$launcher_build/CMakeCache.txt")"
port=""
portal_tls=()
if [[ "$origin" =~ ^(https?)://(127\.0\.0\.1|localhost):([0-9]+)$ ]]; then
    port="${BASH_REMATCH[3]}"
    if [ "${BASH_REMATCH[1]}" = https ]; then
        portal_tls=(--tls)
    fi
fi

mkdir -p "$demo"
rm -f "$demo/game-started.txt" "$demo/urls.log" "$demo/launcher.png"
if [ ! -f "$demo/config.cfg" ]; then
    printf '%s\r\n' "// Tavaren settings (shared with the game)" "screenWidth = 1024" "screenHeight = 768" \
        "screenBPP = 32" "bloom = 1" >"$demo/config.cfg"
fi
cp "$game_stub" "$demo/_Tavaren.exe"

if [ -n "$port" ]; then
    python3 scripts/demo_portal.py --port "$port" "${portal_tls[@]}" </dev/null >"$demo/portal.log" 2>&1 &
    portal_pid=$!
    for _ in $(seq 50); do
        if grep -q 'serving' "$demo/portal.log" 2>/dev/null || ! kill -0 "$portal_pid" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    if kill -0 "$portal_pid" 2>/dev/null; then
        say "demo portal on $origin"
    else
        say "the demo portal could not start: $(cat "$demo/portal.log")"
        portal_pid=""
    fi
else
    say "the build's portal ($origin) is not local: no demo portal"
fi

export TAVAREN_URL_LOG="$demo/urls.log"

interactive=false
if [ -n "${DISPLAY:-}" ] && xdpyinfo </dev/null >/dev/null 2>&1; then
    interactive=true
else
    if ! start_private_xvfb "$demo/xvfb.log"; then
        say "Xvfb did not start: $(cat "$demo/xvfb.log")"
        exit 1
    fi
fi

say "preparing the Wine prefix $WINEPREFIX"
wine_prefix_ready

say "starting Tavaren.exe in $demo on display $DISPLAY"
(cd "$demo" && exec "$support/wine-run.sh" "$launcher") </dev/null >"$demo/launcher.log" 2>&1 &
launcher_pid=$!

if [ "$interactive" = true ]; then
    say "the launcher is open on your display; close it (or press PLAY) to end"
else
    window=""
    for _ in $(seq 300); do
        # By its class, not its process: Wine 10 runs a 32-bit program in a process of its own.
        window="$(xdotool search --onlyvisible --class '^Tavaren\.exe$' 2>/dev/null | head -n 1 || true)"
        if [ -n "$window" ] || ! kill -0 "$launcher_pid" 2>/dev/null; then
            break
        fi
        sleep 0.2
    done
    if [ -z "$window" ]; then
        say "the launcher's window did not appear (see $demo/launcher.log)"
        exit 1
    fi
    # Where the CLOSE button (id 1002) is, from the launcher's own point of view.
    facts="$("$support/wine-run.sh" "$stubs/poke.exe" describe </dev/null 2>&1)" || {
        say "poke.exe could not read the launcher window: $facts"
        exit 1
    }
    sleep 1 # let the window finish painting
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$demo/launcher.png"
    say "screenshot: $demo/launcher.png"

    read -r _ client_x client_y _ _ <<<"$(grep '^client ' <<<"$facts")"
    read -r _ _ _ left top right bottom _ <<<"$(grep '^control 1002 ' <<<"$facts")"
    geometry="$(xdotool getwindowgeometry --shell "$window")"
    window_x="$(sed -n 's/^X=//p' <<<"$geometry")"
    window_y="$(sed -n 's/^Y=//p' <<<"$geometry")"
    x=$((client_x + (left + right) / 2 - window_x))
    y=$((client_y + (top + bottom) / 2 - window_y))
    say "clicking CLOSE"
    xdotool mousemove --window "$window" "$x" "$y" click 1
fi

status=0
wait "$launcher_pid" || status=$?
launcher_pid=""
say "the launcher exited with $status"

sleep 1 # the shell hands URLs over a moment after the launcher has gone
if [ -f "$demo/game-started.txt" ]; then
    say "PLAY started the stub game: $demo/game-started.txt"
fi
if [ -s "$demo/urls.log" ]; then
    while read -r url; do
        say "the launcher opened $url"
    done <"$demo/urls.log"
fi
if [ -n "$portal_pid" ]; then
    grep '"GET ' "$demo/portal.log" | sed 's/^/run: /' || true
fi
