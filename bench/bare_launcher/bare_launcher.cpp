// BareLauncher.exe: the launcher window with nothing behind it. It shows the same template, titled and
// centred the same way, ends on PLAY or CLOSE and starts the game on PLAY. The benchmark measures it beside
// Tavaren.exe to show what the browser, the display modes and the settings add.
//
// Built with BARE_LAUNCHER_LISTS_MODES (BareLauncherModes.exe) it first lists the display modes, as the
// launcher does before its window: the difference between the two is the cost of Direct3D 9.

#include <windows.h>
#include <shellapi.h>

#include "main_dialog_ids.h"

#ifdef BARE_LAUNCHER_LISTS_MODES
#include "display_modes.h"
#endif

namespace {

void Centre(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    MoveWindow(window, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, TRUE);
}

INT_PTR CALLBACK BareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, "Tavaren");
        Centre(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PLAY || LOWORD(wParam) == IDC_CLOSE) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, IDC_CLOSE);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef BARE_LAUNCHER_LISTS_MODES
    EnumerateDisplayModes();
#endif
    const INT_PTR outcome =
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_LAUNCHER), nullptr, BareDialogProc, 0);
    if (outcome == IDC_PLAY) {
        ShellExecuteA(nullptr, "open", ".\\_Tavaren.exe", "", "", SW_SHOWNORMAL);
    }
    return 0;
}
