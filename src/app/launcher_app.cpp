#include "app/launcher_app.h"

#include "webhost/browser_host.h"
#include "settings/config_file.h"
#include "app/launch_target.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_ids.h"

#include <shellapi.h>

void TearDownBrowser(BrowserHost* host, bool oleInitialised, void(WINAPI* uninitialiseOle)()) {
    if (host != nullptr) {
        if (host->browser != nullptr) {
            host->browser->Close(OLECLOSE_NOSAVE);
            host->browser->Release();
            host->browser = nullptr;
        }
        host->Release();
    }
    if (oleInitialised) {
        uninitialiseOle();
    }
}

void TearDownLauncherWindow() {
    TearDownBrowser(g_browserHost, g_oleInitialised);
    g_browserHost = nullptr;
    g_oleInitialised = false;
}

void LauncherApp::Run(HINSTANCE, int) {
    ReadSettings();
    // The display modes are not listed here: that loads Direct3D 9, which holds the window back and costs
    // memory, while only the Options dialog needs them. It lists them when it first opens.

    const INT_PTR outcome = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LAUNCHER),
                                            nullptr, MainDialogProc, 0);

    TearDownLauncherWindow();

    ShellExecuteA(nullptr, "open", LaunchTarget(outcome), "", "", SW_SHOWNORMAL);
}
