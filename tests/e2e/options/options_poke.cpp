// options_poke.exe: looks at and drives the launcher's Options dialog from another process, for the
// end-to-end tests.
//
//   options_poke.exe [--pid P] COMMAND  addresses the dialog of launcher process P (for two launchers at
//   once) options_poke.exe show            prints the dialog's state, one fact a line:
//                                      item INDEX DATA TEXT   each resolution item, in the combo box's order
//                                      selected INDEX         the selected item, -1 when none
//                                      bloom STATE            0 unchecked, 1 checked
//   options_poke.exe choose TEXT     selects the resolution item whose text is TEXT
//   options_poke.exe press ID        clicks the button ID (1 OK, 2 Cancel, 1009 Bloom)
//   options_poke.exe gone            waits until no Options dialog is left
//   options_poke.exe press-all ID    clicks the button ID in every Options dialog open (at least one), one
//                                    post after the other, so that several launchers act at nearly once
//   options_poke.exe message         waits for a message box owned by the dialog, prints its caption and its
//                                    texts ("caption TEXT", then "text TEXT" for each, each on one line) and
//                                    answers it with OK
//   options_poke.exe hold PATH MS ID opens the file PATH without sharing it, as a scanner or the game may,
//                                    clicks the button ID while holding it, lets go after MS milliseconds
//                                    and prints "open-at-release 1" when the dialog was still open then
//                                    (it was waiting for the file), else "open-at-release 0"
//
// The dialog is the one visible top-level dialog window titled "Options" that has the resolution box (a
// message box it owns has its caption too); each command waits up to 15 s for it (gone: for it to go). Exit
// codes: 0 done, 2 bad arguments, 3 no such dialog in time (gone: still there), 4 more than one such dialog,
// 5 no such item or control, 6 a message failed, 7 the file cannot be held.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMilliseconds = 15000;
constexpr int kResolutionId = 1004;
constexpr int kBloomId = 1009;

DWORD g_pid = 0; // --pid: only the dialog of this process; 0, any

BOOL CALLBACK CollectOptionsDialogs(HWND window, LPARAM context) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (g_pid != 0 && pid != g_pid) {
        return TRUE;
    }
    char title[64] = {};
    char className[64] = {};
    GetWindowTextA(window, title, sizeof title);
    GetClassNameA(window, className, sizeof className);
    if (IsWindowVisible(window) && std::strcmp(title, "Options") == 0 &&
        std::strcmp(className, "#32770") == 0 && GetDlgItem(window, kResolutionId) != nullptr) {
        reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    }
    return TRUE;
}

std::vector<HWND> OptionsDialogs() {
    std::vector<HWND> found;
    EnumWindows(CollectOptionsDialogs, reinterpret_cast<LPARAM>(&found));
    return found;
}

// 0 with the dialog, 3 when none appeared in time, 4 when several are open.
int FindDialog(HWND* dialog) {
    const DWORD start = GetTickCount();
    for (;;) {
        const std::vector<HWND> found = OptionsDialogs();
        if (found.size() == 1) {
            *dialog = found.front();
            return 0;
        }
        if (found.size() > 1) {
            std::fprintf(stderr, "options_poke: %u Options dialogs are open\n",
                         static_cast<unsigned>(found.size()));
            return 4;
        }
        if (GetTickCount() - start >= kWaitMilliseconds) {
            std::fprintf(stderr, "options_poke: no Options dialog appeared\n");
            return 3;
        }
        Sleep(50);
    }
}

int Show(HWND dialog) {
    HWND combo = GetDlgItem(dialog, kResolutionId);
    if (combo == nullptr) {
        return 5;
    }
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        // The wide messages: their strings cross the process boundary intact (the combo box belongs to the
        // launcher), which the ANSI ones do not under Wine.
        wchar_t wide[256] = {};
        const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length < 0 || length >= static_cast<LRESULT>(sizeof wide / sizeof wide[0])) {
            return 6;
        }
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide));
        char text[256] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        const LRESULT data = SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
        std::printf("item %ld %ld %s\n", static_cast<long>(index), static_cast<long>(data), text);
    }
    std::printf("selected %ld\n", static_cast<long>(SendMessageA(combo, CB_GETCURSEL, 0, 0)));
    std::printf("bloom %u\n", IsDlgButtonChecked(dialog, kBloomId));
    return 0;
}

int Choose(HWND dialog, const char* text) {
    HWND combo = GetDlgItem(dialog, kResolutionId);
    if (combo == nullptr) {
        return 5;
    }
    wchar_t wide[256] = {};
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, sizeof wide / sizeof wide[0]) == 0) {
        return 2;
    }
    const LRESULT index =
        SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wide));
    if (index == CB_ERR) {
        std::fprintf(stderr, "options_poke: no item \"%s\"\n", text);
        return 5;
    }
    if (SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) != index) {
        return 6;
    }
    std::printf("selected %ld\n", static_cast<long>(index));
    return 0;
}

// Posted, so that the dialog ending (and its owner going on) never waits for this process.
int Press(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (button == nullptr) {
        return 5;
    }
    return PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 6;
}

int HoldAndPress(HWND dialog, const char* path, DWORD milliseconds, int id) {
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "options_poke: cannot hold %s (error %lu)\n", path, GetLastError());
        return 7;
    }
    const int pressed = Press(dialog, id);
    Sleep(milliseconds);
    const bool open = IsWindow(dialog) && IsWindowVisible(dialog);
    CloseHandle(file);
    std::printf("open-at-release %d\n", open ? 1 : 0);
    return pressed;
}

// A window's text through the wide message, which crosses the process boundary intact under Wine, in the
// ANSI code page.
std::string TextOf(HWND window) {
    wchar_t wide[1024] = {};
    SendMessageW(window, WM_GETTEXT, sizeof wide / sizeof wide[0], reinterpret_cast<LPARAM>(wide));
    char text[2048] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

struct OwnedBox {
    HWND owner;
    HWND box;
};

BOOL CALLBACK FindOwnedBox(HWND window, LPARAM context) {
    OwnedBox* search = reinterpret_cast<OwnedBox*>(context);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (IsWindowVisible(window) && std::strcmp(className, "#32770") == 0 &&
        GetWindow(window, GW_OWNER) == search->owner) {
        search->box = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintStaticText(HWND control, LPARAM) {
    char className[64] = {};
    GetClassNameA(control, className, sizeof className);
    std::string text = TextOf(control);
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' '; // one line of output
        }
    }
    if (_stricmp(className, "Static") == 0 && !text.empty()) {
        std::printf("text %s\n", text.c_str());
    }
    return TRUE;
}

// Prints the caption and text of the message box the dialog owns, answers it with OK and waits until it
// has gone (the dialog is disabled while it is up); 3 when none appeared in time or it stayed.
int AnswerMessage(HWND dialog) {
    OwnedBox search{dialog, nullptr};
    const DWORD start = GetTickCount();
    while (EnumWindows(FindOwnedBox, reinterpret_cast<LPARAM>(&search)), search.box == nullptr) {
        if (GetTickCount() - start >= kWaitMilliseconds) {
            std::fprintf(stderr, "options_poke: no message box of the Options dialog appeared\n");
            return 3;
        }
        Sleep(50);
    }
    std::printf("caption %s\n", TextOf(search.box).c_str());
    EnumChildWindows(search.box, PrintStaticText, 0);
    std::fflush(stdout);
    PostMessageA(search.box, WM_COMMAND, IDOK, 0);
    while (IsWindow(search.box)) {
        if (GetTickCount() - start >= 2 * kWaitMilliseconds) {
            std::fprintf(stderr, "options_poke: the message box stayed open\n");
            return 3;
        }
        Sleep(50);
    }
    return 0;
}

int WaitGone() {
    const DWORD start = GetTickCount();
    while (!OptionsDialogs().empty()) {
        if (GetTickCount() - start >= kWaitMilliseconds) {
            std::fprintf(stderr, "options_poke: the Options dialog is still open\n");
            return 3;
        }
        Sleep(50);
    }
    return 0;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: options_poke.exe [--pid P] show | choose TEXT | press ID | press-all ID | gone | message"
        " | hold PATH MS ID\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--pid") == 0) {
        g_pid = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
        argc -= 2;
        argv += 2;
    }
    if (argc < 2) {
        return Usage();
    }
    const char* command = argv[1];
    if (std::strcmp(command, "gone") == 0) {
        return WaitGone();
    }
    if (std::strcmp(command, "press-all") == 0 && argc == 3) {
        HWND first = nullptr;
        if (const int found = FindDialog(&first); found != 0 && found != 4) {
            return found;
        }
        int result = 0;
        for (HWND dialog : OptionsDialogs()) {
            if (const int pressed = Press(dialog, std::atoi(argv[2]))) {
                result = pressed;
            }
        }
        return result;
    }
    const bool known = std::strcmp(command, "show") == 0 || std::strcmp(command, "message") == 0 ||
                       (std::strcmp(command, "choose") == 0 && argc == 3) ||
                       (std::strcmp(command, "press") == 0 && argc == 3) ||
                       (std::strcmp(command, "hold") == 0 && argc == 5);
    if (!known) {
        return Usage();
    }
    HWND dialog = nullptr;
    if (const int found = FindDialog(&dialog)) {
        return found;
    }
    if (std::strcmp(command, "show") == 0) {
        return Show(dialog);
    }
    if (std::strcmp(command, "message") == 0) {
        return AnswerMessage(dialog);
    }
    if (std::strcmp(command, "choose") == 0) {
        return Choose(dialog, argv[2]);
    }
    if (std::strcmp(command, "hold") == 0) {
        return HoldAndPress(dialog, argv[2], static_cast<DWORD>(std::atoi(argv[3])), std::atoi(argv[4]));
    }
    return Press(dialog, std::atoi(argv[2]));
}
