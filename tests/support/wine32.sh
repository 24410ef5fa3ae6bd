#!/usr/bin/env bash
# Sourced by the scripts that choose between the 32-bit and the 64-bit Windows build:
#   . tests/support/wine32.sh
#   kernel_runs_32bit DIR      a tiny static 32-bit Linux program, written to DIR, runs and exits with 42
#   cpu_runs_32bit_code DIR    a 64-bit program, built in DIR from code32_probe.c beside this file, runs code in
#                              the 32-bit code segment and comes back: Wine 10's new WoW64 can then run the
#                              32-bit builds, whether or not the kernel takes 32-bit programs
#   wine32_runs DIR            that, and 32-bit Wine is installed and starts
#   prefix_runs_32bit PREFIX   the Wine prefix has its 32-bit system folder (it was made with 32-bit Wine)
#   wine64_runs_32bit_programs wine64 runs 32-bit Windows programs in its 64-bit processes (new WoW64): the
#                              32-bit Windows DLLs lie beside the 64-bit ones (Wine 10 in its root)
# Each returns non-zero when the answer is no and then sets wine32_reason to a line that says why. Every
# answer comes from an attempt on this machine, never from its name or its kernel's version: whether a
# kernel runs 32-bit programs differs between machines of the same kind.

WINE32=/usr/lib/wine/wine
WINE_I386_DLLS=/usr/lib/x86_64-linux-gnu/wine/i386-windows
# shellcheck disable=SC2034 # read by the scripts that source this file
wine32_reason=""

kernel_runs_32bit() {
    local dir="$1" probe status error
    mkdir -p "$dir"
    probe="$(mktemp "$dir/probe32.XXXXXX")" || {
        wine32_reason="cannot write a 32-bit test program to $dir"
        return 1
    }
    # ELF32 for i386, one loadable segment, whose code is: mov ebx, 42; mov eax, 1 (exit); int 0x80.
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    status=0
    error="$("$probe" </dev/null 2>&1 >/dev/null)" || status=$?
    rm -f "$probe"
    if [ "$status" = 42 ]; then
        return 0
    fi
    if [[ "$error" == *"Exec format error"* ]]; then
        wine32_reason="this kernel refuses 32-bit programs (a static 32-bit test program: Exec format error)"
    else
        wine32_reason="a static 32-bit test program did not run here (exit status $status${error:+: ${error##*: }})"
    fi
    return 1
}

cpu_runs_32bit_code() {
    local dir="$1" source status=0 compiler
    source="$(dirname "${BASH_SOURCE[0]}")/code32_probe.c"
    compiler="$(command -v cc || command -v gcc || command -v clang || true)"
    if [ -z "$compiler" ]; then
        wine32_reason="no C compiler here to build the 32-bit code probe"
        return 1
    fi
    mkdir -p "$dir"
    if ! "$compiler" -static -no-pie -O0 -o "$dir/code32_probe" "$source" </dev/null >"$dir/code32_probe.log" 2>&1; then
        wine32_reason="the 32-bit code probe did not build (see $dir/code32_probe.log)"
        return 1
    fi
    # In a subshell, so that the shell's own word on a signal goes where the probe's output goes.
    ("$dir/code32_probe" </dev/null >/dev/null 2>&1) 2>/dev/null || status=$?
    [ "$status" = 0 ] && return 0
    if [ "$status" -gt 128 ]; then
        wine32_reason="this machine runs no 32-bit code at all (a 64-bit process that jumps to the 32-bit code segment gets signal $((status - 128)))"
    else
        wine32_reason="the 32-bit code probe ended with status $status"
    fi
    return 1
}

wine32_runs() {
    kernel_runs_32bit "$1" || return 1
    if [ ! -x "$WINE32" ]; then
        wine32_reason="32-bit Wine is missing ($WINE32 is not installed)"
        return 1
    fi
    if ! "$WINE32" --version </dev/null >/dev/null 2>&1; then
        wine32_reason="32-bit Wine is installed but $WINE32 does not start"
        return 1
    fi
}

prefix_runs_32bit() {
    if [ -f "$1/drive_c/windows/syswow64/kernel32.dll" ]; then
        return 0
    fi
    # shellcheck disable=SC2034
    wine32_reason="the Wine prefix $1 was made without 32-bit Wine (its syswow64 folder is empty)"
    return 1
}

wine64_runs_32bit_programs() {
    [ -f "$WINE_I386_DLLS/ntdll.dll" ]
}
