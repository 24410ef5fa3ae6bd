#!/usr/bin/env bash
# Builds everything and runs every test: the one command for developers and CI.
#
#   1. installs what is missing (scripts/install-deps.sh): Debian 12's Wine (32-bit too where this
#      machine's kernel runs 32-bit programs) and the Wine 10 root (scripts/wine10-root.sh). Only this
#      step needs root, and only while something is missing: once it has run, an ordinary user runs the
#      rest (commands in the root then run through bubblewrap, where user namespaces are allowed);
#   2. builds the 32-bit release (warnings are errors) and its zip package, a publisher's release from
#      docs/CMakeUserPresets.json.example (packaging/check_user_preset.sh), the 64-bit and 32-bit test
#      builds and the native sanitizer build;
#   3. runs the suites, the Windows ones on a private Xvfb display, each in a Wine prefix made for it:
#        native           the settings module with sanitizers, and the fuzzer
#        test-x64         the 64-bit test build under Debian 12's wine64
#        test-x86         the 32-bit test build under Debian 12's 32-bit Wine      } where the kernel runs
#        shipped          the end-to-end cases against the release exe, same Wine  } 32-bit programs
#        test-x86-wine10  the 32-bit test build under Wine 10 in the root          } on every machine
#        shipped-wine10   the end-to-end cases against the release exe, same Wine  }
#      Where the kernel refuses 32-bit programs, test-x86 and shipped say why in one line each; where Wine
#      10 cannot start one either (some kernels give 32-bit code nowhere to run), so do the last two.
#
# Ends with one line per suite (its counts and its Wine) and the totals ("total: N passed, N failed, N
# skipped"). The exit status is non-zero when any build or test failed. TAVAREN_CTEST_JOBS overrides the
# number of Windows tests run at once (2).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"
# shellcheck source=../tests/support/private-xvfb.sh
. tests/support/private-xvfb.sh
# shellcheck source=../tests/support/wine32.sh
. tests/support/wine32.sh
jobs="${TAVAREN_CTEST_JOBS:-2}"
release="$repo/build/release-x86"
in_root=("$repo/scripts/wine10-root.sh" run)
fresh_prefix="$repo/tests/support/with-fresh-prefix.sh"

xvfb_pid=""

# shellcheck disable=SC2317 # called by the EXIT trap
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# "4 min 07 s" from a number of seconds.
duration() {
    printf '%d min %02d s' $(($1 / 60)) $(($1 % 60))
}

section() {
    printf '\n== %s\n' "$*"
}

# One CTest run, shown as it goes and counted for the summary:
#   run_suite NAME WHAT BUILD [RUNNER...] -- [ctest options]
# RUNNER is what ctest runs under (a fresh Wine prefix, the Wine 10 root); none for the native build.
summary=()
passed_total=0
failed_total=0
skipped_total=0
status=0
run_suite() {
    local name="$1" what="$2" dir="$3" rc=0 total failed skipped runner=() started="$SECONDS"
    local log="$repo/build/$name.ctest.log"
    shift 3
    while [ "$1" != -- ]; do
        runner+=("$1")
        shift
    done
    shift
    "${runner[@]}" ctest --test-dir "$dir" --output-on-failure --timeout 300 "$@" </dev/null 2>&1 |
        tee "$log" || rc=$?
    total="$(sed -n 's/^.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\2/p' "$log")"
    failed="$(sed -n 's/^.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1/p' "$log")"
    skipped="$(grep -c '(Skipped)$' "$log" || true)"
    if [ -z "$total" ] || [ "$total" = 0 ]; then
        summary+=("$(printf '%-15s FAILED: no test ran (see %s)' "$name" "${log#"$repo/"}")")
        failed_total=$((failed_total + 1))
        status=1
        return
    fi
    if [ "$rc" != 0 ] && [ "$failed" = 0 ]; then
        failed=1 # CTest itself failed after counting
    fi
    [ "$failed" = 0 ] || status=1
    summary+=("$(printf '%-15s %3d passed, %d failed, %d skipped in %s  (%s)' "$name" \
        $((total - failed - skipped)) "$failed" "$skipped" "$(duration $((SECONDS - started)))" "$what")")
    passed_total=$((passed_total + total - failed - skipped))
    failed_total=$((failed_total + failed))
    skipped_total=$((skipped_total + skipped))
}

# What the suite's tests that count their cases printed (the fuzzer's runs, the rewrite's fault
# schedules): CTest keeps a passing test's output to itself.
show_counts() {
    grep -h -o -e 'settings fuzzer: Done .*' -e 'rewrite fault schedules: .*' -e 'rewrite crash points: .*' \
        -e 'wine-run: held at exit: .*' \
        "$1/Testing/Temporary/LastTest.log" 2>/dev/null || true
}

# "Wine 8.0" from "wine-8.0 (Debian 8.0~repack-4)".
wine_name() {
    "$@" --version 2>/dev/null | sed -n 's/^wine-\([0-9.]*\).*/Wine \1/p'
}

section "dependencies"
scripts/install-deps.sh
# Wine 10 in the root runs 32-bit programs inside 64-bit processes: of no use where this machine runs no
# 32-bit code at all (install-deps.sh then made no root).
wine10=true
if ! cpu_runs_32bit_code "$repo/build/probe32"; then
    wine10=false
    no_32bit_code="$wine32_reason"
    echo "test-x86-wine10 and shipped-wine10: not run, $no_32bit_code"
else
    # Commands run in the root through bubblewrap: as root, or as a user where user namespaces are allowed.
    scripts/wine10-root.sh check
fi

x86=false
if wine32_runs "$repo/build"; then
    x86=true
    echo "this kernel runs 32-bit programs: test-x86 and shipped run under Debian 12's 32-bit Wine too"
else
    echo "test-x86 and shipped under Debian 12's Wine: not run, $wine32_reason"
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
# A publisher's release as the README shows it, with a portal of their own: in a copy of the sources,
# docs/CMakeUserPresets.json.example as CMakeUserPresets.json and its workflow preset; the exe must carry
# the example's portal.
packaging/check_user_preset.sh "$repo" "$repo/build/user-preset"

section "build: test-x64"
# The test builds' portal is a local server that e2e.portal_request listens as, on a port of this run's own:
# the last run's port while it is free (nothing to rebuild), otherwise a free one. It lies below the range
# the kernel takes client ports from, so no connection of this machine takes it meanwhile, and two clones'
# runs each listen on their own.
portal_port="$(python3 - "$(sed -n 's/^TAVAREN_PORTAL_ORIGIN:[A-Z]*=http:.*:\([0-9]*\)$/\1/p' \
    build/test-x64/CMakeCache.txt 2>/dev/null)" <<'EOF'
import random, socket, sys

def free(port):
    with socket.socket() as probe:
        try:
            probe.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False

last = int(sys.argv[1]) if sys.argv[1].isdigit() else 0
port = last if 20000 <= last < 32768 and free(last) else 0
while not port:
    port = random.randrange(20000, 32768)
    port = port if free(port) else 0
print(port)
EOF
)"
test_portal="http://127.0.0.1:$portal_port"
echo "the test builds' portal: $test_portal"
# The resource test reads the 32-bit release exe back as well as the test build's; the package test checks
# the release zip.
cmake --preset test-x64 -DTAVAREN_RELEASE_EXE="$release/src/app/Tavaren.exe" \
    -DTAVAREN_RELEASE_BUILD="$release" -DTAVAREN_PORTAL_ORIGIN="$test_portal" >/dev/null
cmake --build build/test-x64 -j2

section "build: test-x86"
# Its end-to-end cases run against the shipped exe too, with the portal origin it was built with. They
# also run in the Wine 10 root, which has Debian's Python at the same path, but none that this machine may
# have found first.
shipped_origin="$(sed -n 's/^TAVAREN_PORTAL_ORIGIN:[A-Z]*=//p' "$release/CMakeCache.txt")"
# PLAY also against that exe as the package step signs it (a throwaway certificate, build/release-signed).
if ! tests/support/sign-release.sh "$release" "$repo/build/release-signed" >"$release/signed.log" 2>&1; then
    cat "$release/signed.log"
    exit 1
fi
cmake --preset test-x86 -DTAVAREN_SHIPPED_EXE="$release/src/app/Tavaren.exe" \
    -DTAVAREN_SHIPPED_PORTAL_ORIGIN="$shipped_origin" \
    -DTAVAREN_SIGNED_EXE="$repo/build/release-signed/unpacked/Tavaren.exe" \
    -DTAVAREN_PORTAL_ORIGIN="$test_portal" -DPython3_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build build/test-x86 -j2

section "build: native (sanitizers, fuzzer)"
cmake --preset native >/dev/null
cmake --build build/native -j2

build_seconds="$SECONDS"
section "test environment"
rm -f build/test-x64/urls.log build/test-x86/urls.log build/test-x86/urls-wine10.log
rm -rf build/test-x64/tests/e2e/work build/test-x86/tests/e2e/work
mkdir -p "$repo/build"
if ! start_private_xvfb "$repo/build/xvfb.log"; then
    echo "test: Xvfb did not start (see build/xvfb.log)" >&2
    exit 1
fi
echo "Xvfb on $DISPLAY"
wine8="$(wine_name /usr/lib/wine/wine64)"
if [ "$wine10" = true ]; then
    wine10_name="$(wine_name "${in_root[@]}" /usr/lib/wine/wine64)"
    echo "Debian 12's ${wine8:-Wine}; in the root $(scripts/wine10-root.sh path): ${wine10_name:-Wine}"
    wine10_name="${wine10_name:-Wine 10} in the Debian 13 root, new WoW64"
else
    echo "Debian 12's ${wine8:-Wine}; no Wine 10 root"
fi

section "tests: native"
run_suite native "settings module with sanitizers, and the fuzzer" build/native --
# CTest keeps a passing test's output to itself: show what the fuzzer did.
show_counts build/native

section "tests: test-x64"
TAVAREN_URL_LOG="$repo/build/test-x64/urls.log" run_suite test-x64 \
    "64-bit test build and the release package, $wine8 wine64" build/test-x64 \
    "$fresh_prefix" "$repo/build/test-x64/wineprefix" -- -j"$jobs"
show_counts build/test-x64

x86_prefix="$repo/build/test-x86/wineprefix"
if [ "$x86" = true ]; then
    section "tests: test-x86 under Debian 12's 32-bit Wine"
    TAVAREN_URL_LOG="$repo/build/test-x86/urls.log" run_suite test-x86 \
        "32-bit test build, $wine8 32-bit" build/test-x86 "$fresh_prefix" "$x86_prefix" -- -j"$jobs" -LE shipped
    show_counts build/test-x86

    section "tests: the shipped exe (release-x86) end to end under Debian 12's 32-bit Wine"
    TAVAREN_URL_LOG="$repo/build/test-x86/urls.log" run_suite shipped \
        "release-x86 Tavaren.exe as it ships, $wine8 32-bit" build/test-x86 "$fresh_prefix" "$x86_prefix" -- \
        -j"$jobs" -L shipped
else
    summary+=("$(printf '%-15s not run: %s' test-x86 "$wine32_reason")")
    summary+=("$(printf '%-15s not run: %s' shipped "$wine32_reason")")
fi

# Whether Wine 10 in the root starts a 32-bit program here: some kernels give 32-bit code nowhere to run at
# all, and then no Wine here can test the 32-bit builds.
run_wine10=false
if [ "$wine10" = false ]; then
    no_wine10="$no_32bit_code"
elif no_wine10="$(scripts/wine10-root.sh probe "$repo/build/test-x86/tests/e2e/stubs/_Tavaren.exe" \
    2>&1)"; then
    run_wine10=true
fi
if [ "$run_wine10" = true ]; then
    section "tests: test-x86 under Wine 10 (32-bit programs in 64-bit processes)"
    TAVAREN_URL_LOG="$repo/build/test-x86/urls-wine10.log" run_suite test-x86-wine10 \
        "32-bit test build, $wine10_name" build/test-x86 "${in_root[@]}" "$fresh_prefix" "$x86_prefix-wine10" -- \
        -j"$jobs" -LE shipped
    show_counts build/test-x86

    section "tests: the shipped exe (release-x86) end to end under Wine 10"
    TAVAREN_URL_LOG="$repo/build/test-x86/urls-wine10.log" run_suite shipped-wine10 \
        "release-x86 Tavaren.exe as it ships, $wine10_name" build/test-x86 "${in_root[@]}" "$fresh_prefix" \
        "$x86_prefix-wine10" -- -j"$jobs" -L shipped
else
    no_32bit="${no_wine10#wine10-root: }"
    [ "$wine10" = false ] || no_32bit="$no_32bit: no Wine here runs the 32-bit builds"
    echo "test-x86-wine10 and shipped-wine10: not run, $no_32bit"
    summary+=("$(printf '%-15s not run: %s' test-x86-wine10 "$no_32bit")")
    summary+=("$(printf '%-15s not run: %s' shipped-wine10 "$no_32bit")")
fi

section "summary"
printf '%s\n' "${summary[@]}"
# The run's own time, from the first install check to here; the counts stay the last line, as a runner's.
echo "time in all: $(duration "$SECONDS"), of which installing and building $(duration "$build_seconds")"
echo "total: $passed_total passed, $failed_total failed, $skipped_total skipped"
exit "$status"
