#!/usr/bin/env bash
# Builds everything and runs every test: the one command for developers and CI.
#
#   1. installs what is missing (scripts/install-deps.sh; 32-bit Wine too where this machine runs 32-bit
#      programs);
#   2. builds the 32-bit release (warnings are errors) and its zip package, the 64-bit test build, the
#      native sanitizer build and, where 32-bit Wine runs, the 32-bit test build;
#   3. runs the native tests, then the Windows tests on a private Xvfb display, each build in a fresh Wine
#      prefix made after any install: test-x64 under wine64 and, where 32-bit Wine runs, test-x86 and the
#      end-to-end cases against the release exe exactly as it ships ("shipped"). Where 32-bit Wine cannot
#      run, one line says why and those two suites are left out.
#
# Ends with one line per suite and the totals ("total: N passed, N failed, N skipped"). The exit status is
# non-zero when any build or test failed. TAVAREN_CTEST_JOBS overrides the number of Windows tests run at
# once (2).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
# shellcheck source=../tests/support/private-xvfb.sh
. tests/support/private-xvfb.sh
# shellcheck source=../tests/support/wine32.sh
. tests/support/wine32.sh
jobs="${TAVAREN_CTEST_JOBS:-2}"
release="$repo/build/release-x86"

xvfb_pid=""
prefixes=()

# shellcheck disable=SC2317 # called by the EXIT trap
cleanup() {
    local prefix
    for prefix in "${prefixes[@]}"; do
        WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true
    done
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

section() {
    printf '\n== %s\n' "$*"
}

# A private Xvfb for the Windows tests (see tests/support/private-xvfb.sh).
start_xvfb() {
    mkdir -p "$repo/build"
    if ! start_private_xvfb "$repo/build/xvfb.log"; then
        echo "test: Xvfb did not start (see build/xvfb.log)" >&2
        exit 1
    fi
}

# A new, booted prefix for one Windows build, with a wineserver and Wine's services that live until this
# script ends: started here, outside CTest, they never hold a test's output pipe, and no test (nor the
# listing of a test program's cases) waits for them to start. The prefix of the dummy-driver X server's
# test (tests/unit/display/with-dummy-xorg.sh) goes too: made before 32-bit Wine, it could not run 32-bit
# programs.
fresh_prefix() {
    local prefix="$1" old
    for old in "$prefix" "$prefix-dummy-x"; do
        WINEPREFIX="$old" wineserver -k </dev/null >/dev/null 2>&1 || true
        rm -rf "$old" "$old.e2e" "$old.lock" "$old.setup.log"
    done
    prefixes+=("$prefix" "$prefix-dummy-x")
    WINEPREFIX="$prefix" tests/support/wine-prefix-ready.sh
    WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1
    WINEPREFIX="$prefix" /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
}

# One CTest run, shown as it goes and counted for the summary: run_suite NAME WHAT BUILD [ctest options].
summary=()
passed_total=0
failed_total=0
skipped_total=0
run_suite() {
    local name="$1" what="$2" dir="$3" rc=0 total failed skipped
    local log="$repo/build/$name.ctest.log"
    shift 3
    ctest --test-dir "$dir" --output-on-failure --timeout 300 "$@" 2>&1 | tee "$log" || rc=$?
    total="$(sed -n 's/^.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\2/p' "$log")"
    failed="$(sed -n 's/^.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1/p' "$log")"
    skipped="$(grep -c '(Skipped)$' "$log" || true)"
    if [ -z "$total" ] || [ "$total" = 0 ]; then
        summary+=("$(printf '%-10s FAILED: no test ran (see %s)' "$name" "${log#"$repo/"}")")
        failed_total=$((failed_total + 1))
        status=1
        return
    fi
    if [ "$rc" != 0 ] && [ "$failed" = 0 ]; then
        failed=1 # CTest itself failed after counting
    fi
    [ "$failed" = 0 ] || status=1
    summary+=("$(printf '%-10s %3d passed, %d failed, %d skipped  (%s)' "$name" \
        $((total - failed - skipped)) "$failed" "$skipped" "$what")")
    passed_total=$((passed_total + total - failed - skipped))
    failed_total=$((failed_total + failed))
    skipped_total=$((skipped_total + skipped))
}

section "dependencies"
scripts/install-deps.sh

x86=false
if wine32_runs "$repo/build"; then
    x86=true
    echo "32-bit Wine runs here: test-x86 and the shipped exe's end-to-end cases run too"
else
    echo "test-x86 and the shipped exe's end-to-end cases: not run, $wine32_reason"
fi

section "build and package: release-x86 (32-bit release, warnings are errors)"
cmake --preset release-x86 -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
# The documented release command (configure, build, package); its build and package steps are shown.
rm -f "$release"/Tavaren-*-win32.zip
if ! cmake --workflow --preset release-x86 >"$release/workflow.log" 2>&1; then
    tail -n 40 "$release/workflow.log"
    exit 1
fi
sed -n '/^Executing workflow step 2/,$p' "$release/workflow.log"

section "build: test-x64"
# The resource test reads the 32-bit release exe back as well as the test build's; the package test checks
# the release zip.
cmake --preset test-x64 -DTAVAREN_RELEASE_EXE="$release/src/app/Tavaren.exe" \
    -DTAVAREN_RELEASE_BUILD="$release" >/dev/null
cmake --build build/test-x64 -j2

section "build: native (sanitizers, fuzzer)"
cmake --preset native >/dev/null
cmake --build build/native -j2

if [ "$x86" = true ]; then
    section "build: test-x86"
    # Its end-to-end cases run against the shipped exe too, with the portal origin it was built with.
    shipped_origin="$(sed -n 's/^TAVAREN_PORTAL_ORIGIN:[A-Z]*=//p' "$release/CMakeCache.txt")"
    # PLAY also against that exe as the package step signs it (a throwaway certificate, build/release-signed).
    if ! tests/support/sign-release.sh "$release" "$repo/build/release-signed" >"$release/signed.log" 2>&1; then
        cat "$release/signed.log"
        exit 1
    fi
    cmake --preset test-x86 -DTAVAREN_SHIPPED_EXE="$release/src/app/Tavaren.exe" \
        -DTAVAREN_SHIPPED_PORTAL_ORIGIN="$shipped_origin" \
        -DTAVAREN_SIGNED_EXE="$repo/build/release-signed/unpacked/Tavaren.exe" >/dev/null
    cmake --build build/test-x86 -j2
fi

section "test environment"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export TAVAREN_URL_LOG="$repo/build/test-x64/urls.log"
rm -f "$TAVAREN_URL_LOG"
rm -rf build/test-x64/tests/e2e/work build/test-x86/tests/e2e/work
start_xvfb
echo "Xvfb on $DISPLAY"
fresh_prefix "$repo/build/test-x64/wineprefix"
echo "Wine prefix build/test-x64/wineprefix ready"

status=0

section "tests: native"
run_suite native "settings module with sanitizers, and the fuzzer" build/native
# CTest keeps a passing test's output to itself: show what the fuzzer did.
grep -h -o 'settings fuzzer: Done .*' build/native/Testing/Temporary/LastTest.log 2>/dev/null || true

if [ "$x86" = true ]; then
    section "tests: test-x86"
    fresh_prefix "$repo/build/test-x86/wineprefix"
    WINEPREFIX="$repo/build/test-x86/wineprefix" TAVAREN_URL_LOG="$repo/build/test-x86/urls.log" \
        run_suite test-x86 "32-bit test build under 32-bit Wine" build/test-x86 -j"$jobs" -LE shipped

    section "tests: the shipped exe (release-x86) end to end"
    WINEPREFIX="$repo/build/test-x86/wineprefix" TAVAREN_URL_LOG="$repo/build/test-x86/urls.log" \
        run_suite shipped "release-x86 Tavaren.exe as it ships, end to end" build/test-x86 -j"$jobs" -L shipped
else
    summary+=("$(printf '%-10s not run: %s' test-x86 "$wine32_reason")")
    summary+=("$(printf '%-10s not run: %s' shipped "$wine32_reason")")
fi

section "tests: test-x64"
WINEPREFIX="$repo/build/test-x64/wineprefix" \
    run_suite test-x64 "64-bit test build under wine64, and the release package" build/test-x64 -j"$jobs"

section "summary"
printf '%s\n' "${summary[@]}"
echo "total: $passed_total passed, $failed_total failed, $skipped_total skipped"
exit "$status"
