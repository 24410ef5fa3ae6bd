// Stand-in for a program the launcher starts (the game, the gamepad tool). It leaves a marker file in its
// working directory that tells where it ran from and how it was started, then exits.
//
// The marker (STUB_MARKER, set by the build) holds three lines:
//   cwd=<current directory>
//   exe=<full path of this program>
//   cmdline=<command line as received>
// It is written under a temporary name and renamed, so a reader never sees half of it.

#include <windows.h>

#include <cstdio>

#ifndef STUB_MARKER
#error "STUB_MARKER must name the marker file"
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char cwd[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    char exe[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, exe, sizeof exe);

    const char* temporary = STUB_MARKER ".partial";
    std::FILE* marker = std::fopen(temporary, "wb");
    if (marker == nullptr) {
        return 1;
    }
    std::fprintf(marker, "cwd=%s\nexe=%s\ncmdline=%s\n", cwd, exe, GetCommandLineA());
    if (std::fclose(marker) != 0) {
        return 1;
    }
    return MoveFileExA(temporary, STUB_MARKER, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
