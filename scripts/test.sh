#!/usr/bin/env bash
# Builds everything and runs every test: the one command for developers and CI.
#
#   1. installs what is missing (scripts/install-deps.sh);
#   2. builds the 32-bit release (warnings are errors), the 64-bit test build and the native sanitizer
#      build;
#   3. runs the native tests, then the Windows tests under wine64 with a fresh Wine prefix and a private
#      Xvfb display (the 32-bit tests too, where this machine can run 32-bit Wine).
#
# The last line printed is CTest's summary of the Windows tests. The exit status is non-zero when any
# build or test failed. TAVAREN_CTEST_JOBS overrides the number of Windows tests run at once (2).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
# shellcheck source=../tests/support/private-xvfb.sh
. tests/support/private-xvfb.sh
jobs="${TAVAREN_CTEST_JOBS:-2}"

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
# listing of a test program's cases) waits for them to start.
fresh_prefix() {
    local prefix="$1"
    WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$prefix" "$prefix.e2e" "$prefix.lock" "$prefix.setup.log"
    prefixes+=("$prefix")
    WINEPREFIX="$prefix" tests/support/wine-prefix-ready.sh
    WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1
    WINEPREFIX="$prefix" /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
}

# Can this machine run 32-bit Windows programs? It needs the 32-bit loader and a kernel that runs it.
thirty_two_bit_wine() {
    [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1
}

section "dependencies"
scripts/install-deps.sh

section "build: release-x86 (32-bit release, warnings are errors)"
cmake --preset release-x86 -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build/release-x86 -j2

section "build: test-x64"
# The resource test reads the 32-bit release exe back as well as the test build's.
cmake --preset test-x64 -DTAVAREN_RELEASE_EXE="$repo/build/release-x86/src/app/Tavaren.exe" >/dev/null
cmake --build build/test-x64 -j2

section "build: native (sanitizers, fuzzer)"
cmake --preset native >/dev/null
cmake --build build/native -j2

x86=false
if thirty_two_bit_wine; then
    x86=true
    section "build: test-x86"
    cmake --preset test-x86 >/dev/null
    cmake --build build/test-x86 -j2
fi

section "test environment"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export TAVAREN_URL_LOG="$repo/build/test-x64/urls.log"
rm -f "$TAVAREN_URL_LOG"
rm -rf build/test-x64/tests/e2e/work
start_xvfb
echo "Xvfb on $DISPLAY"
fresh_prefix "$repo/build/test-x64/wineprefix"
echo "Wine prefix build/test-x64/wineprefix ready"

status=0

section "tests: native"
ctest --test-dir build/native --output-on-failure --timeout 300 || status=1
# CTest keeps a passing test's output to itself: show what the fuzzer did.
grep -h -o 'settings fuzzer: Done .*' build/native/Testing/Temporary/LastTest.log 2>/dev/null || true

if [ "$x86" = true ]; then
    section "tests: test-x86"
    fresh_prefix "$repo/build/test-x86/wineprefix"
    WINEPREFIX="$repo/build/test-x86/wineprefix" TAVAREN_URL_LOG="$repo/build/test-x86/urls.log" \
        ctest --test-dir build/test-x86 --output-on-failure --timeout 300 -j"$jobs" || status=1
else
    echo
    echo "test-x86: skipped, 32-bit Wine cannot run here (/usr/lib/wine/wine is missing or this kernel refuses 32-bit programs)"
fi

section "tests: test-x64"
WINEPREFIX="$repo/build/test-x64/wineprefix" \
    ctest --test-dir build/test-x64 --output-on-failure --timeout 300 -j"$jobs" || status=1

exit "$status"
