// BareLauncher.exe: the launcher window with nothing behind it. It shows the same template, titled and
// centred the same way, ends on PLAY or CLOSE and starts the game on PLAY. The benchmark measures it beside
// Tavaren.exe to show what the browser, the display modes and the settings add.
//
// Built with BARE_LAUNCHER_NAVIGATES (BareLauncherPage.exe) its window also creates the system's web
// browser control and asks it for the portal's start page, as the launcher does, but hosts it nowhere (no
// in-place activation): what the platform costs for the page, whatever the host around it.
//
// Built with BARE_LAUNCHER_LISTS_MODES (BareLauncherModes.exe, and with both BareLauncherBrowser.exe) it
// first lists the display modes, which the launcher leaves to the first opening of Options: the
// difference is the cost of Direct3D 9 before the window.

#include <windows.h>
#include <shellapi.h>

#include "ui/main_dialog_ids.h"

#ifdef BARE_LAUNCHER_LISTS_MODES
#include "display/display_modes.h"
#endif

#ifdef BARE_LAUNCHER_NAVIGATES
#include "webhost/portal_urls.h"

#include <exdisp.h>
#include <ole2.h>
#endif

namespace {

#ifdef BARE_LAUNCHER_NAVIGATES
IWebBrowser2* g_web = nullptr;

// Creates the browser control and sends it to the start page.
void Navigate() {
    if (FAILED(OleInitialize(nullptr)) ||
        FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2,
                                reinterpret_cast<void**>(&g_web))) ||
        g_web == nullptr) {
        return;
    }
    wchar_t wide[512] = {};
    MultiByteToWideChar(CP_ACP, 0, kPortalStartUrl, -1, wide, 512);
    VARIANT url;
    VariantInit(&url);
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocString(wide);
    VARIANT empty;
    VariantInit(&empty);
    g_web->Navigate2(&url, &empty, &empty, &empty, &empty);
    VariantClear(&url);
}
#endif

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
#ifdef BARE_LAUNCHER_NAVIGATES
        Navigate();
#endif
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
#ifdef BARE_LAUNCHER_NAVIGATES
    if (g_web != nullptr) {
        g_web->Release();
    }
    OleUninitialize();
#endif
    return 0;
}
