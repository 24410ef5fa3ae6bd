// open_options.exe: opens and closes the launcher's Options dialog for bench.sh, which times the opening
// from the moment the command is posted to the X server mapping the dialog.
//
//   open_options.exe open    posts the OPTIONS command (WM_COMMAND 1001, as the hidden OPTIONS button would
//                            send) to the visible window titled "Tavaren"; prints the Unix time in
//                            microseconds read just before posting
//   open_options.exe cancel  posts IDCANCEL to the visible Options dialog and waits until it is gone
//
// Each waits up to 10 s for its window. Exit status: 0 done, 2 usage, 3 no such window in time (cancel: the
// dialog did not go), 6 posting failed.

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kWaitMilliseconds = 10000;
constexpr WORD kOptionsCommand = 1001;

HWND FindVisible(const char* className, const char* title) {
    HWND window = FindWindowA(className, title);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

HWND WaitForWindow(const char* className, const char* title) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindVisible(className, title)) {
            return window;
        }
        if (GetTickCount() - start >= kWaitMilliseconds) {
            std::fprintf(stderr, "open_options: no visible window titled \"%s\"\n", title);
            return nullptr;
        }
        Sleep(10);
    }
}

// FILETIME ticks (100 ns since 1601) to Unix microseconds; the clock bash's EPOCHREALTIME reads under Wine.
long long NowUnixMicroseconds() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const long long ticks = (static_cast<long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (ticks - 116444736000000000LL) / 10;
}

int Open() {
    HWND launcher = WaitForWindow(nullptr, "Tavaren");
    if (launcher == nullptr) {
        return 3;
    }
    const long long postedAt = NowUnixMicroseconds();
    if (!PostMessageA(launcher, WM_COMMAND, MAKEWPARAM(kOptionsCommand, BN_CLICKED), 0)) {
        return 6;
    }
    std::printf("%lld\n", postedAt);
    return 0;
}

int Cancel() {
    HWND dialog = WaitForWindow("#32770", "Options");
    if (dialog == nullptr) {
        return 3;
    }
    if (!PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0)) {
        return 6;
    }
    const DWORD start = GetTickCount();
    while (FindVisible("#32770", "Options") != nullptr) {
        if (GetTickCount() - start >= kWaitMilliseconds) {
            std::fprintf(stderr, "open_options: the Options dialog is still open\n");
            return 3;
        }
        Sleep(10);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "open") == 0) {
        return Open();
    }
    if (argc == 2 && std::strcmp(argv[1], "cancel") == 0) {
        return Cancel();
    }
    std::fprintf(stderr, "usage: open_options.exe open | cancel\n");
    return 2;
}
