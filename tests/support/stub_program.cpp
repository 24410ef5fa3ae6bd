// Stand-in for a program the launcher starts (the game, the gamepad tool), for the end-to-end tests and
// the benchmark. It leaves a marker file in its working directory that tells when and where it ran and
// how it was started, then exits.
//
// The marker (STUB_MARKER, set by the build) holds four lines:
//   started=<the wall-clock moment it started, as FILETIME ticks: 100 ns since 1601-01-01 UTC>
//   cwd=<current directory>
//   exe=<full path of this program>
//   cmdline=<command line as received>
// It is written under a temporary name and renamed, so a reader never sees half of it.

#include <windows.h>

#include <cstdio>

#ifndef STUB_MARKER
#error "STUB_MARKER must name the marker file"
#endif

namespace {

// The precise clock where the system has one (Windows 8 and later, and Wine); GetSystemTimeAsFileTime can
// be a timer tick behind.
unsigned long long WallClockTicks() {
    using ReadClock = void(WINAPI*)(FILETIME*);
    FILETIME now{};
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC precise =
        kernel != nullptr ? GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime") : nullptr;
    if (precise != nullptr) {
        reinterpret_cast<ReadClock>(reinterpret_cast<void*>(precise))(&now);
    } else {
        GetSystemTimeAsFileTime(&now);
    }
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const unsigned long long started = WallClockTicks();
    char cwd[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    char exe[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);

    const char* temporary = STUB_MARKER ".partial";
    std::FILE* marker = std::fopen(temporary, "wb");
    if (marker == nullptr) {
        return 1;
    }
    std::fprintf(marker, "started=%llu\ncwd=%s\nexe=%s\ncmdline=%s\n", started, cwd, exe, GetCommandLineA());
    if (std::fclose(marker) != 0) {
        return 1;
    }
    return MoveFileExA(temporary, STUB_MARKER, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
