#pragma once
// The launcher's run sequence: settings, the launcher window, the browser's teardown, and the hand-over of
// the chosen program or page to the shell.

#include <windows.h>
#include <ole2.h>

class BrowserHost;

class LauncherApp {
public:
    LauncherApp() = default;
    LauncherApp(const LauncherApp&) = delete;
    LauncherApp& operator=(const LauncherApp&) = delete;
    virtual ~LauncherApp() = default;

    // Runs the whole sequence; returns once the target has been handed to the shell. The instance handle
    // and the show command are not needed: the window comes from this process's own executable.
    void Run(HINSTANCE instance, int showCommand);
};

// Takes the browser down once the launcher window has ended, in this fixed order: close the control
// without saving, release it, release the host (which destroys it), then pair the window's
// OleInitialize. Whatever the window did not create is skipped.
void TearDownBrowser(BrowserHost* host, bool oleInitialised,
                     void(WINAPI* uninitialiseOle)() = OleUninitialize);

// Tears down what the launcher window left behind (g_browserHost, g_oleInitialised) with TearDownBrowser,
// and clears both.
void TearDownLauncherWindow();
