#include "ui/main_dialog.h"

#include "webhost/browser_host.h"
#include "ui/main_dialog_ids.h"
#include "ui/options_dialog.h"
#include "ui/options_dialog_ids.h"
#include "ui/window_placement.h"

#include <new>

BrowserHost* g_browserHost = nullptr;
bool g_oleInitialised = false;

namespace {

// Titles and centres the window, then shows the portal page in the frame. A window that initialises
// again (a second WM_INITDIALOG) keeps the host it already has.
void OnInitDialog(HWND dialog) {
    SetWindowTextA(dialog, "Tavaren");
    CentreOnScreen(dialog);
    if (g_browserHost != nullptr) {
        return;
    }
    g_oleInitialised = SUCCEEDED(OleInitialize(nullptr));
    HWND frame = GetDlgItem(dialog, IDC_WEB_FRAME);
    g_browserHost = new (std::nothrow) BrowserHost;
    if (g_browserHost != nullptr && frame != nullptr) {
        g_browserHost->Embed(frame);
    }
}

// Commands by their id alone; the notification code is not looked at.
void OnCommand(HWND dialog, WORD command) {
    switch (command) {
    case IDC_PLAY:
    case IDC_CLOSE:
    case IDC_GAMEPAD:
        EndDialog(dialog, command);
        break;
    case IDC_OPTIONS:
        DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_OPTIONS), dialog, OptionsDialogProc, 0);
        break;
    default:
        break;
    }
}

} // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        break;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        break;
    case WM_CLOSE:
        // Closing the window means CLOSE. The default processing is not run: it would destroy the window
        // inside the modal loop, and the loop would then lose the outcome.
        EndDialog(dialog, IDC_CLOSE);
        return TRUE;
    default:
        return 0;
    }
    return DefWindowProcA(dialog, message, wParam, lParam);
}
