// _Tavaren.exe for the benchmark: stands in for the game. It writes the wall-clock moment it started to
// game-started.txt in its working directory, as FILETIME ticks (100 ns since 1601-01-01 UTC) in decimal,
// and exits. The file is written under another name first and then renamed, so a reader polling for it
// never sees it half written.

#include <windows.h>

namespace {

// The precise clock where the system has one (Windows 8 and later, and Wine); GetSystemTimeAsFileTime can
// be a timer tick behind.
void ReadWallClock(FILETIME* now) {
    using ReadClock = void(WINAPI*)(FILETIME*);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC precise =
        kernel != nullptr ? GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime") : nullptr;
    if (precise != nullptr) {
        reinterpret_cast<ReadClock>(reinterpret_cast<void*>(precise))(now);
    } else {
        GetSystemTimeAsFileTime(now);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    FILETIME now{};
    ReadWallClock(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;

    // Decimal digits, written from the end of the buffer backwards.
    char text[24];
    char* first = text + sizeof(text);
    *--first = '\n';
    unsigned long long rest = ticks;
    do {
        *--first = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    const DWORD length = static_cast<DWORD>(text + sizeof(text) - first);

    HANDLE file = CreateFileA("game-started.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, first, length, &written, nullptr);
    CloseHandle(file);
    if (!wrote || written != length) {
        return 1;
    }
    return MoveFileExA("game-started.tmp", "game-started.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
