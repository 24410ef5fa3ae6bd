#!/usr/bin/env bash
# Benchmark of Tavaren.exe beside four bare programs, its anchors: BareLauncherPage.exe (the same window,
# which creates the web browser control and asks it for the portal's start page without hosting it, and no
# Direct3D: what the platform costs for a start, whatever our host adds; the anchor that matters to
# players), BareLauncher.exe (the same window with nothing behind it), BareLauncherModes.exe (the bare
# window after listing the Direct3D 9 display modes, which Tavaren leaves to the first opening of Options)
# and BareLauncherBrowser.exe (the modes, then the window with the browser control).
#
#   bash bench/bench.sh [--runs N] [--settle MS] [--timeout S] [--no-build]
#
# For each program, over N runs (default 7), under Wine: the 64-bit build under wine64; where this machine
# runs 32-bit Wine (tests/support/wine32.sh), the shipped 32-bit release exe and 32-bit builds of the bare
# programs under 32-bit Wine; and the same 32-bit programs under Wine 10 (new WoW64) in the root of
# scripts/wine10-root.sh, where it is made:
#   start -> window   from just before the program is started to the X server mapping its window
#                     (bench/x_probe.cpp listens for MapNotify: no polling, sub-millisecond);
#   PLAY -> game      from the press of the left button on PLAY (sent through XTEST by x_probe) to the
#                     moment the stand-in game (tests/support/stub_program.cpp) recorded as its start, both read from
#                     the same wall clock;
#   peak memory       VmHWM of the Wine process running the program, read just before PLAY is clicked;
#   Options           Tavaren only, before PLAY: from posting the OPTIONS command (bench/open_options.cpp)
#                     to the X server mapping the Options dialog, the first opening in each run, which
#                     lists the display modes; and VmHWM once it is open. The dialog is then cancelled.
# It prints the median of each beside each other (or, for the 32-bit programs, why they were not run), the
# ratios of Tavaren's start->window and peak memory to each anchor's, the sizes of the 32-bit release executables and, when bench/settings_rewrite_bench.cpp exists, that
# program's own line.
#
# Environment: DISPLAY (an X server to use; otherwise a private Xvfb is started), TAVAREN_BENCH_PREFIX (the
# Wine prefix, default /tmp/wp-bench; it must be the benchmark's own: it is shut down at the end; under
# Wine 10 the prefix is build/bench/wineprefix-wine10).
set -euo pipefail
export LC_ALL=C

runs=7
settle_ms=1000
timeout_s=30
build=1
# Set when this script runs again inside the Wine 10 root, for the 32-bit programs under Wine 10 alone.
inside_wine10=0

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
}

while [ $# -gt 0 ]; do
    case "$1" in
    --runs) runs="${2:?--runs needs a number}"; shift 2 ;;
    --settle) settle_ms="${2:?--settle needs milliseconds}"; shift 2 ;;
    --timeout) timeout_s="${2:?--timeout needs seconds}"; shift 2 ;;
    --no-build) build=0; shift ;;
    --inside-wine10) inside_wine10=1; build=0; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "bench: unknown argument '$1'" >&2; usage >&2; exit 2 ;;
    esac
done
for number in "$runs" "$settle_ms" "$timeout_s"; do
    case "$number" in '' | *[!0-9]*) echo "bench: '$number' is not a whole number" >&2; exit 2 ;; esac
done
[ "$runs" -ge 1 ] || { echo "bench: --runs must be at least 1" >&2; exit 2; }

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build/bench"
# The 64-bit build that runs here, in a tree of its own (tests off) so that it neither waits for nor
# disturbs the test build in build/test-x64.
x64="$out/test-x64"
x86="$root/build/release-x86"
x_probe="$out/x_probe"
# shellcheck source=../tests/support/wine-prefix.sh
. "$root/tests/support/wine-prefix.sh"

export WINEPREFIX="${TAVAREN_BENCH_PREFIX:-/tmp/wp-bench}"
if [ "$inside_wine10" = 1 ]; then
    WINEPREFIX="$out/wineprefix-wine10"
fi

# Unix time in microseconds, without starting a process.
now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }

xvfb_pid=""
hold_pid=""
app_pid=""
watch_pid=""
server_started=0
rundir=""

# shellcheck disable=SC2317 # called by the EXIT trap
cleanup() {
    local pid
    for pid in "$app_pid" "$watch_pid" "$hold_pid"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
        fi
    done
    if [ "$server_started" = 1 ]; then
        # Ends what is left in the benchmark's prefix (a stand-in game, the desktop) and its server.
        wine_prefix_stop
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
    fi
    if [ -n "$rundir" ]; then
        rm -rf "$rundir"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

die() {
    echo "bench: $*" >&2
    exit 1
}

mkdir -p "$out"
# One benchmark at a time: runs would share the prefix, the display and the files in build/bench.
if [ "$inside_wine10" = 0 ]; then
    exec 8>"$out/bench.lock"
    flock -n 8 || die "another bench.sh is running"
fi

# ---- Build ---------------------------------------------------------------------------------------------
if [ "$build" = 1 ]; then
    [ -f /usr/include/X11/extensions/XTest.h ] ||
        die "bench/x_probe.cpp needs the X11 and XTEST headers: apt-get install libx11-dev libxtst-dev"
    log="$out/build.log"
    : >"$log"
    echo "bench: building (log: $log)" >&2
    {
        cmake --preset test-x64 -B "$x64" -DTAVAREN_BUILD_TESTS=OFF &&
            cmake --build "$x64" --target Tavaren BareLauncherPage BareLauncher BareLauncherModes \
                BareLauncherBrowser BenchStubGame BenchHoldDesktop BenchOpenOptions -j2 &&
            cmake --preset release-x86 &&
            cmake --build "$x86" --target Tavaren BareLauncherPage BareLauncher BareLauncherModes \
                BareLauncherBrowser BenchStubGame BenchOpenOptions -j2 &&
            clang++ -O2 -std=c++17 -Wall -Wextra "$root/bench/x_probe.cpp" -lX11 -lXtst -o "$x_probe"
    } >>"$log" 2>&1 || {
        tail -n 30 "$log" >&2
        die "the build failed"
    }
fi

# The programs measured: key, executable, Wine loader. The 32-bit ones where 32-bit Wine runs; inside the
# Wine 10 root, the 32-bit ones alone, under wine64.
x86_programs() {
    programs+=(
        tavaren32 "$x86/src/app/Tavaren.exe" "$1"
        page32 "$x86/bench/BareLauncherPage.exe" "$1"
        bare32 "$x86/bench/BareLauncher.exe" "$1"
        modes32 "$x86/bench/BareLauncherModes.exe" "$1"
        browser32 "$x86/bench/BareLauncherBrowser.exe" "$1"
    )
}
programs=()
x86_note=""
if [ "$inside_wine10" = 1 ]; then
    x86_programs "$WINE64"
else
    programs+=(
        tavaren64 "$x64/src/app/Tavaren.exe" "$WINE64"
        page64 "$x64/bench/BareLauncherPage.exe" "$WINE64"
        bare64 "$x64/bench/BareLauncher.exe" "$WINE64"
        modes64 "$x64/bench/BareLauncherModes.exe" "$WINE64"
        browser64 "$x64/bench/BareLauncherBrowser.exe" "$WINE64"
    )
    if wine32_runs "$out"; then
        x86_programs "$WINE32"
    else
        x86_note="$wine32_reason"
    fi
fi
hold_exe="$x64/bench/hold_desktop.exe"
for file in "$hold_exe" "$x_probe" "$x64/bench/stub_game/_Tavaren.exe" "$x86/bench/stub_game/_Tavaren.exe" \
    "$x86/src/app/Tavaren.exe" "$x86/bench/BareLauncher.exe" "$x86/bench/BareLauncherModes.exe" \
    "$x86/bench/BareLauncherBrowser.exe" "$x86/bench/BareLauncherPage.exe" "$x64/bench/open_options.exe" \
    "$x86/bench/open_options.exe"; do
    [ -f "$file" ] || die "$file is missing (run without --no-build)"
done
for ((i = 1; i < ${#programs[@]}; i += 3)); do
    [ -f "${programs[i]}" ] || die "${programs[i]} is missing (run without --no-build)"
done

# ---- X server ------------------------------------------------------------------------------------------
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    display_note="DISPLAY $DISPLAY"
else
    # shellcheck source=../tests/support/private-xvfb.sh
    . "$root/tests/support/private-xvfb.sh"
    start_private_xvfb "$out/xvfb.log" || die "Xvfb did not start (see $out/xvfb.log)"
    display_note="private Xvfb $DISPLAY"
fi

# ---- Wine prefix, booted once and kept warm ------------------------------------------------------------
if [ -z "$x86_note" ] && [ -f "$WINEPREFIX/system.reg" ] && ! prefix_runs_32bit "$WINEPREFIX"; then
    echo "bench: $wine32_reason: making it anew" >&2
    wine_prefix_remove
fi
echo "bench: preparing the Wine prefix $WINEPREFIX" >&2
wine_prefix_ready || die "could not prepare $WINEPREFIX"
wine_prefix_start
server_started=1
"$WINE64" "$hold_exe" </dev/null >/dev/null 2>&1 &
hold_pid=$!

# A working folder for each bitness, with a stand-in game of the same bitness as the programs run there.
rundir="$(mktemp -d "${TMPDIR:-/tmp}/tavaren-bench.XXXXXX")"
for bits in 64 32; do
    mkdir "$rundir/$bits"
    printf 'screenWidth = 1024\r\nscreenHeight = 768\r\nscreenBPP = 32\r\nbloom = 1\r\n' >"$rundir/$bits/config.cfg"
done
cp "$x64/bench/stub_game/_Tavaren.exe" "$rundir/64/_Tavaren.exe"
cp "$x86/bench/stub_game/_Tavaren.exe" "$rundir/32/_Tavaren.exe"

# ---- One run -------------------------------------------------------------------------------------------
# start_watch CLASS LABEL DEADLINE: listens, in the background, for the next window of that class to be
# mapped (watch_pid, its output in watch_out).
watch_out="$out/x_probe-watch.out"
start_watch() {
    : >"$watch_out"
    "$x_probe" watch "$1" $((timeout_s * 1000)) >"$watch_out" 2>&1 &
    watch_pid=$!
    until grep -q '^ready$' "$watch_out"; do
        kill -0 "$watch_pid" 2>/dev/null || die "$2: x_probe watch failed: $(cat "$watch_out")"
        [ "$(now_us)" -lt "$3" ] || die "$2: x_probe watch did not start"
        sleep 0.005
    done
}

# open_options LOADER HELPER CLASS LABEL DEADLINE PID: opens Tavaren's Options dialog, sets run_options_us
# and run_options_hwm_kb, and cancels the dialog again.
open_options() {
    local loader="$1" helper="$2" class="$3" label="$4" deadline="$5" pid="$6"
    start_watch "$class" "$label" "$deadline"
    local posted_us
    posted_us=$("$loader" "$helper" open </dev/null 2>/dev/null | tr -d '\r') ||
        die "$label: could not post the OPTIONS command"
    local window mapped_ns # set by await_map, for this function alone
    await_map "$label: the Options dialog"
    run_options_us=$((mapped_ns / 1000 - posted_us))
    sleep "$(awk -v ms="$settle_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
    run_options_hwm_kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    "$loader" "$helper" cancel </dev/null >/dev/null 2>&1 || die "$label: could not cancel the Options dialog"
}

# await_map WHAT: waits for the window start_watch listens for; sets the caller's locals window and
# mapped_ns (the X server's time of the mapping), or ends the script saying WHAT was not mapped.
await_map() {
    local watch_rc=0
    wait "$watch_pid" || watch_rc=$?
    watch_pid=""
    [ "$watch_rc" = 0 ] || die "$1 was not mapped within ${timeout_s} s"
    read -r window mapped_ns < <(sed -n 2p "$watch_out")
}

# run_once EXE LOADER LABEL [OPTIONS_HELPER]: sets run_window_us, run_play_us and run_hwm_kb, or ends the
# script; with OPTIONS_HELPER, opens Options before PLAY and sets run_options_us and run_options_hwm_kb.
run_once() {
    local exe="$1" loader="$2" label="$3" options_helper="${4:-}"
    local class
    class="$(basename "$exe")"
    local deadline=$(($(now_us) + timeout_s * 1000000))
    if [[ "$exe" == "$x86"/* ]]; then
        cd "$rundir/32"
    else
        cd "$rundir/64"
    fi
    rm -f game-started.txt game-started.txt.partial

    # Listening for the window before the program starts.
    start_watch "$class" "$label" "$deadline"

    local started_us
    started_us=$(now_us)
    "$loader" "$exe" </dev/null >/dev/null 2>&1 &
    app_pid=$!

    local window mapped_ns # set by await_map
    await_map "$label: its window"
    run_window_us=$((mapped_ns / 1000 - started_us))

    sleep "$(awk -v ms="$settle_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"

    # The process that owns the window: the one started under 32-bit Wine and wine64 (Wine's loader loads
    # the program in place); another one, started for it, under new WoW64.
    local pid
    pid="$(xdotool getwindowpid "$window" 2>/dev/null)" || pid="$app_pid"
    [ -r "/proc/$pid/status" ] || die "$label: the program ended before PLAY was clicked"
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qi "$class" || die "$label: process $pid does not run $class"
    run_hwm_kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    if [ -n "$options_helper" ]; then
        open_options "$loader" "$options_helper" "$class" "$label" "$deadline" "$pid"
    fi

    # PLAY's centre, from the template (7,215 76x14 in a 433x236 dialog) scaled to the window's size.
    local WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=')"
    local pressed_ns
    pressed_ns=$("$x_probe" click "$window" $((WIDTH * 45 / 433)) $((HEIGHT * 222 / 236))) ||
        die "$label: could not click PLAY"

    until [ -f game-started.txt ]; do
        [ "$(now_us)" -lt "$deadline" ] || die "$label: the game was not started within ${timeout_s} s of the run"
        sleep 0.01
    done
    local ticks
    ticks=$(sed -n 's/^started=//p' game-started.txt | tr -d '\r')
    # FILETIME ticks (100 ns since 1601) to Unix microseconds.
    run_play_us=$(((ticks - 116444736000000000) / 10 - pressed_ns / 1000))

    while kill -0 "$pid" 2>/dev/null || kill -0 "$app_pid" 2>/dev/null; do
        [ "$(now_us)" -lt "$deadline" ] || die "$label: did not exit after PLAY"
        sleep 0.01
    done
    local rc=0
    wait "$app_pid" || rc=$?
    app_pid=""
    [ "$rc" = 0 ] || die "$label: exited with status $rc"
}

# ---- Measuring -----------------------------------------------------------------------------------------
# Each program's values, space-separated, by key.
declare -A window_us play_us hwm_kb options_us options_hwm_kb
raw="$out/runs.tsv"
[ "$inside_wine10" = 0 ] || raw="$out/runs-wine10.tsv"
printf 'run\tprogram\tstart_to_window_us\tplay_to_game_us\tvmhwm_kb\toptions_us\toptions_vmhwm_kb\n' >"$raw"

# measure INDEX PROGRAM: runs the program at that place of the programs table and records the run.
measure() {
    local index="$1" key="${programs[$2]}" exe="${programs[$2 + 1]}" loader="${programs[$2 + 2]}"
    local helper=""
    run_options_us="-"
    run_options_hwm_kb="-"
    if [[ "$key" == tavaren* ]]; then
        helper="${exe%/src/app/Tavaren.exe}/bench/open_options.exe"
    fi
    run_once "$exe" "$loader" "$key $(basename "$exe")" "$helper"
    if [ "$index" != warmup ]; then
        window_us[$key]+=" $run_window_us"
        play_us[$key]+=" $run_play_us"
        hwm_kb[$key]+=" $run_hwm_kb"
        if [ -n "$helper" ]; then
            options_us[$key]+=" $run_options_us"
            options_hwm_kb[$key]+=" $run_options_hwm_kb"
        fi
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$index" "$key" "$run_window_us" "$run_play_us" "$run_hwm_kb" \
        "$run_options_us" "$run_options_hwm_kb" >>"$raw"
}

count=$((${#programs[@]} / 3))
load_before=$(cut -d' ' -f1 /proc/loadavg)
echo "bench: warm-up run of each program" >&2
for ((p = 0; p < count; p++)); do
    measure warmup $((p * 3))
done
for i in $(seq "$runs"); do
    echo "bench: run $i of $runs" >&2
    # Each run starts with another program, so that none always runs right after the same one.
    for ((p = 0; p < count; p++)); do
        measure "$i" $((((p + i) % count) * 3))
    done
done

# ---- Report --------------------------------------------------------------------------------------------
median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.0f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# "median unit (min-max)" of the values, each divided by scale and shown with one decimal.
summary() {
    local scale="$1" unit="$2"
    shift 2
    printf '%s\n' "$@" | sort -n | awk -v m="$(median "$@")" -v s="$scale" -v u="$unit" \
        'NR == 1 { lo = $1 } { hi = $1 } END { printf "%7.1f %s (%.1f-%.1f)", m / s, u, lo / s, hi / s }'
}
columns() {
    printf '  %-26s %-25s %-25s %-25s %-25s %s\n' "$@"
}
anchors=(tavaren page bare modes browser)
# row LABEL SCALE UNIT ARRAY BITS: Tavaren's and each anchor's values ("-" where there are none).
row() {
    local -n values="$4"
    local key cells=()
    for key in "${anchors[@]}"; do
        if [ -n "${values[$key$5]:-}" ]; then
            # shellcheck disable=SC2086 # the values are space-separated numbers
            cells+=("$(summary "$2" "$3" ${values[$key$5]})")
        else
            cells+=("      -")
        fi
    done
    columns "$1" "${cells[@]}"
}
# ratios LABEL ARRAY BITS: Tavaren's median over each anchor's; above 1 by what the launcher itself adds.
ratios() {
    local -n values="$2"
    local key cells=() tavaren
    # shellcheck disable=SC2086 # the values are space-separated numbers
    tavaren="$(median ${values[tavaren$3]})"
    for key in "${anchors[@]}"; do
        # shellcheck disable=SC2086
        cells+=("$(awk -v t="$tavaren" -v a="$(median ${values[$key$3]})" 'BEGIN { printf "%7.2f", t / a }')")
    done
    columns "$1" "${cells[@]}"
}
rows() {
    row "start->window" 1000 ms window_us "$1"
    ratios "start->window, Tavaren/it" window_us "$1"
    row "PLAY click->game start" 1000 ms play_us "$1"
    row "peak memory, VmHWM" 1024 MiB hwm_kb "$1"
    ratios "peak memory, Tavaren/it" hwm_kb "$1"
    row "first Options: post->shown" 1000 ms options_us "$1"
    row "VmHWM with Options open" 1024 MiB options_hwm_kb "$1"
}

if [ "$inside_wine10" = 1 ]; then
    echo "32-bit: the same under $("$WINE64" --version 2>/dev/null || echo wine) in the Debian 13 root, new" \
        "WoW64 (load average $load_before at its start)"
    rows 32
    exit 0
fi
echo
echo "Tavaren.exe beside the bare launcher with the browser control and no Direct3D, the bare launcher alone," \
    "after the Direct3D 9 mode list, and with both:" \
    "$runs runs each after a warm-up, under $("$WINE64" --version 2>/dev/null || echo wine), $display_note;" \
    "load average $load_before on $(nproc) CPUs at the start; median (min-max)"
columns "" "Tavaren.exe" "bare + browser, no D3D" "bare" "bare + Direct3D 9 modes" "modes + browser control"
echo "64-bit test build, wine64"
rows 64
if [ -z "$x86_note" ]; then
    echo "32-bit: the shipped Tavaren.exe (release-x86) and 32-bit bare builds, 32-bit Wine"
    rows 32
else
    echo "32-bit: not run, $x86_note"
fi
# The same 32-bit programs under Wine 10, where its root is made.
# This run's prefix and programs end first; the display stays for it.
wine10_root="$root/scripts/wine10-root.sh"
xvfb_pid_kept="$xvfb_pid"
xvfb_pid=""
cd "$root"
cleanup
server_started=0
rundir=""
if ! wine10_note="$("$wine10_root" probe "$x86/bench/stub_game/_Tavaren.exe" 2>&1)"; then
    echo "32-bit under Wine 10: not run, ${wine10_note#wine10-root: }"
else
    "$wine10_root" run "$root/bench/bench.sh" --inside-wine10 --runs "$runs" --settle "$settle_ms" \
        --timeout "$timeout_s" </dev/null || echo "32-bit under Wine 10: the benchmark failed in the root"
fi
xvfb_pid="$xvfb_pid_kept"
columns "32-bit release exe size" "$(stat -c %s "$x86/src/app/Tavaren.exe") bytes" \
    "$(stat -c %s "$x86/bench/BareLauncherPage.exe") bytes" "$(stat -c %s "$x86/bench/BareLauncher.exe") bytes" "$(stat -c %s "$x86/bench/BareLauncherModes.exe") bytes" \
    "$(stat -c %s "$x86/bench/BareLauncherBrowser.exe") bytes"
echo "(raw runs: $raw)"

# ---- The settings file ---------------------------------------------------------------------------------
status=0
settings_bench="$root/bench/settings_rewrite_bench.cpp"
if [ -f "$settings_bench" ]; then
    # The portable sources of tavaren_settings and what it stands on, with the POSIX file calls.
    sources=("$root"/src/bytes/*.cpp "$root"/src/durable_file/*.cpp "$root"/src/durable_file/posix/*.cpp
        "$root"/src/settings/*.cpp)
    settings_log="$out/settings_rewrite_bench.log"
    if clang++ -O2 -std=c++17 -I"$root/src" "$settings_bench" "${sources[@]}" \
        -o "$out/settings_rewrite_bench" >"$settings_log" 2>&1; then
        if ! (cd "$out" && ./settings_rewrite_bench); then
            echo "settings rewrite: the benchmark program failed"
            status=1
        fi
    else
        echo "settings rewrite: bench/settings_rewrite_bench.cpp did not build (see $settings_log)"
        status=1
    fi
else
    echo "settings rewrite: not measured yet (bench/settings_rewrite_bench.cpp does not exist)"
fi
exit "$status"
