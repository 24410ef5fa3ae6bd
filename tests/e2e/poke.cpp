// poke.exe: looks at and drives a running launcher window from inside Wine, for the end-to-end tests.
//
//   poke.exe [--title T] [--wait-ms N] describe [L T W H]...   the window, its controls and the screen
//   poke.exe [--title T] [--wait-ms N] command ID              posts WM_COMMAND (BN_CLICKED) for control ID
//   poke.exe [--title T] [--wait-ms N] close                   posts WM_CLOSE
//   poke.exe [--title T] [--wait-ms N] modules                 "module NAME" for each module loaded in the
//                                                              window's process (UTF-8 base names)
//   poke.exe [--title T] pids                                  "pid N" for the process of each such window
//                                                              now visible, at once (none: nothing)
//   poke.exe codepage                                          prints "acp N", N the ANSI code page in force
//   poke.exe hold FILE [HELD]   prints "pid N started T", its own process id and creation time (100 ns
//                               since 1601), and runs until FILE exists (at most 10 minutes): a process that
//                               stays alive, whose leftovers a start must not touch. With HELD, it first
//                               opens that file without sharing it, as a scanner may, and holds it until it
//                               ends
//
// The window is the one visible top-level window whose text is T ("Tavaren" unless told), of process P
// when --pid P is given (for two launchers at once); poke waits up to N ms for it to appear (60000 unless
// told: as long as the driver waits for a window under load), and lists every top-level window when none
// came. describe prints one fact a line:
//   window L T R B          window rectangle, screen coordinates
//   client X Y W H          client area: its origin in screen coordinates and its size in pixels
//   style 0xXXXXXXXX        window style
//   screen W H              primary screen size (SM_CXSCREEN, SM_CYSCREEN)
//   control ID VISIBLE L T R B TEXT   each child window, rectangle in client coordinates
//   dlu L T W H -> L T R B  each dialog-unit rectangle given on the command line, in pixels
// Dialog units are mapped by a hidden dialog of poke's own that uses the launcher template's font (8 pt
// "MS Sans Serif"): MapDialogRect cannot read another process's dialog.
// Exit codes: 0 done, 2 bad arguments, 3 no such window in time, 4 more than one such window, 5 no such
// control, 6 posting failed (modules: the process's modules cannot be listed), 7 HELD cannot be held.

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Search {
    const char* title;
    DWORD pid; // 0: any process
    std::vector<HWND> found;
};

BOOL CALLBACK CollectByTitle(HWND window, LPARAM context) {
    Search* search = reinterpret_cast<Search*>(context);
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (IsWindowVisible(window) && std::strcmp(text, search->title) == 0 &&
        (search->pid == 0 || pid == search->pid)) {
        search->found.push_back(window);
    }
    return TRUE;
}

// What a search that found nothing saw instead: every top-level window, to tell a window that never came
// from one that came under another title or hidden.
BOOL CALLBACK PrintTopLevel(HWND window, LPARAM) {
    char text[128] = {};
    char className[64] = {};
    GetWindowTextA(window, text, sizeof text);
    GetClassNameA(window, className, sizeof className);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::fprintf(stderr, "poke: there is window %p, process %lu, class \"%s\", %s, titled \"%s\"\n",
                 static_cast<void*>(window), static_cast<unsigned long>(pid), className,
                 IsWindowVisible(window) ? "visible" : "hidden", text);
    return TRUE;
}

// 0 when exactly one window matched, 3 when none did within the wait, 4 when several did.
int FindTarget(const char* title, DWORD pid, DWORD waitMs, HWND* target) {
    const DWORD start = GetTickCount();
    for (;;) {
        Search search{title, pid, {}};
        EnumWindows(CollectByTitle, reinterpret_cast<LPARAM>(&search));
        if (search.found.size() == 1) {
            *target = search.found.front();
            return 0;
        }
        if (search.found.size() > 1) {
            std::fprintf(stderr, "poke: %u visible windows are titled \"%s\"\n",
                         static_cast<unsigned>(search.found.size()), title);
            return 4;
        }
        if (GetTickCount() - start >= waitMs) {
            std::fprintf(stderr, "poke: no visible window titled \"%s\" after %lu ms\n", title,
                         static_cast<unsigned long>(waitMs));
            EnumWindows(PrintTopLevel, 0);
            return 3;
        }
        Sleep(50);
    }
}

BOOL CALLBACK PrintControl(HWND child, LPARAM context) {
    HWND parent = reinterpret_cast<HWND>(context);
    if (GetParent(child) != parent) {
        return TRUE; // only the window's own controls, not what the browser control puts inside them
    }
    RECT bounds{};
    GetWindowRect(child, &bounds);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
    char text[128] = {};
    GetWindowTextA(child, text, sizeof text);
    std::printf("control %d %d %ld %ld %ld %ld %s\n", GetDlgCtrlID(child), IsWindowVisible(child) ? 1 : 0,
                bounds.left, bounds.top, bounds.right, bounds.bottom, text);
    return TRUE;
}

INT_PTR CALLBACK IdleDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// A hidden, empty dialog with the launcher template's font, whose dialog units are the launcher's.
HWND CreateUnitDialog() {
    // DLGTEMPLATE, then menu, class and title (all empty), then the font's size and face name.
    alignas(4) WORD buffer[64] = {};
    DLGTEMPLATE* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
    dialog->style = WS_POPUP | DS_SETFONT;
    dialog->cx = 10;
    dialog->cy = 10;
    WORD* cursor = reinterpret_cast<WORD*>(dialog + 1);
    *cursor++ = 0; // no menu
    *cursor++ = 0; // the standard dialog class
    *cursor++ = 0; // no title
    *cursor++ = 8; // point size
    for (const char* face = "MS Sans Serif"; *face != '\0'; ++face) {
        *cursor++ = static_cast<WORD>(*face);
    }
    *cursor = 0;
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialog, nullptr, IdleDialogProc, 0);
}

int Describe(HWND window, int argc, char** argv) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    RECT client{};
    GetClientRect(window, &client);
    POINT clientOrigin{0, 0};
    ClientToScreen(window, &clientOrigin);
    std::printf("window %ld %ld %ld %ld\n", bounds.left, bounds.top, bounds.right, bounds.bottom);
    std::printf("client %ld %ld %ld %ld\n", clientOrigin.x, clientOrigin.y, client.right - client.left,
                client.bottom - client.top);
    std::printf("style 0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
    std::printf("screen %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    EnumChildWindows(window, PrintControl, reinterpret_cast<LPARAM>(window));
    HWND unitDialog = argc >= 4 ? CreateUnitDialog() : nullptr;
    if (argc >= 4 && unitDialog == nullptr) {
        std::fprintf(stderr, "poke: could not create a dialog to measure dialog units\n");
        return 6;
    }
    for (int i = 0; i + 3 < argc; i += 4) {
        const int left = std::atoi(argv[i]);
        const int top = std::atoi(argv[i + 1]);
        const int width = std::atoi(argv[i + 2]);
        const int height = std::atoi(argv[i + 3]);
        RECT units{left, top, left + width, top + height};
        MapDialogRect(unitDialog, &units);
        std::printf("dlu %d %d %d %d -> %ld %ld %ld %ld\n", left, top, width, height, units.left, units.top,
                    units.right, units.bottom);
    }
    if (unitDialog != nullptr) {
        DestroyWindow(unitDialog);
    }
    return 0;
}

int PostCommand(HWND window, const char* idText) {
    char* end = nullptr;
    const long id = std::strtol(idText, &end, 10);
    if (end == idText || *end != '\0' || id < 0 || id > 0xFFFF) {
        std::fprintf(stderr, "poke: bad control id \"%s\"\n", idText);
        return 2;
    }
    // A hidden control still exists; a control that is not there at all gets a null handle, as a
    // menu or accelerator command would.
    HWND control = GetDlgItem(window, static_cast<int>(id));
    const WPARAM wParam = MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED);
    if (!PostMessageA(window, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control))) {
        std::fprintf(stderr, "poke: PostMessage failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        return 6;
    }
    return 0;
}

int PrintModules(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process);
    if (snapshot == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "poke: cannot list the modules of process %lu (%lu)\n",
                     static_cast<unsigned long>(process), static_cast<unsigned long>(GetLastError()));
        return 6;
    }
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        char name[4 * MAX_MODULE_NAME32 + 4] = {};
        WideCharToMultiByte(CP_UTF8, 0, entry.szModule, -1, name, sizeof name, nullptr, nullptr);
        std::printf("module %s\n", name);
    }
    CloseHandle(snapshot);
    return 0;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: poke.exe [--title T] [--pid P] [--wait-ms N] describe [L T W H]... | command ID | close"
        " | modules | pids | codepage | hold FILE [HELD]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const char* title = "Tavaren";
    DWORD waitMs = 60000;
    DWORD pid = 0;
    int i = 1;
    for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (std::strcmp(argv[i], "--title") == 0) {
            title = argv[i + 1];
        } else if (std::strcmp(argv[i], "--wait-ms") == 0) {
            waitMs = static_cast<DWORD>(std::strtoul(argv[i + 1], nullptr, 10));
        } else if (std::strcmp(argv[i], "--pid") == 0) {
            pid = static_cast<DWORD>(std::strtoul(argv[i + 1], nullptr, 10));
        } else {
            return Usage();
        }
    }
    if (i >= argc) {
        return Usage();
    }
    const std::string action = argv[i++];
    if (action == "pids") {
        Search search{title, 0, {}};
        EnumWindows(CollectByTitle, reinterpret_cast<LPARAM>(&search));
        for (HWND found : search.found) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            std::printf("pid %lu\n", static_cast<unsigned long>(owner));
        }
        return 0;
    }
    if (action == "codepage") {
        std::printf("acp %u\n", GetACP());
        return 0;
    }
    if (action == "hold" && (i + 1 == argc || i + 2 == argc)) {
        // Held before the line below: whoever reads it knows the file is held.
        if (i + 2 == argc && CreateFileA(argv[i + 1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "poke: cannot hold %s (error %lu)\n", argv[i + 1],
                         static_cast<unsigned long>(GetLastError()));
            return 7;
        }
        FILETIME created{};
        FILETIME unused[3]{};
        GetProcessTimes(GetCurrentProcess(), &created, &unused[0], &unused[1], &unused[2]);
        std::printf("pid %lu started %llu\n", static_cast<unsigned long>(GetCurrentProcessId()),
                    (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
        std::fflush(stdout);
        for (int waited = 0; waited < 600000 && GetFileAttributesA(argv[i]) == INVALID_FILE_ATTRIBUTES;
             waited += 50) {
            Sleep(50);
        }
        return 0;
    }
    if (action != "describe" && action != "command" && action != "close" && action != "modules") {
        return Usage();
    }
    if (action == "command" && i + 1 != argc) {
        return Usage();
    }

    HWND window = nullptr;
    const int found = FindTarget(title, pid, waitMs, &window);
    if (found != 0) {
        return found;
    }
    int result = 0;
    if (action == "describe") {
        result = Describe(window, argc - i, argv + i);
    } else if (action == "command") {
        result = PostCommand(window, argv[i]);
    } else if (action == "modules") {
        result = PrintModules(window);
    } else if (!PostMessageA(window, WM_CLOSE, 0, 0)) {
        std::fprintf(stderr, "poke: PostMessage failed (%lu)\n", static_cast<unsigned long>(GetLastError()));
        result = 6;
    }
    std::fflush(stdout);
    return result;
}
