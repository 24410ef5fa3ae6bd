// Tavaren.exe: the launcher that stands in front of the game.

#include "app/dll_search.h"
#include "app/launcher_app.h"

#include <new>
#include <objbase.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // Before anything can load a DLL on the launcher's behalf.
    RestrictDllSearchToSystemDirectory();
    CoInitialize(nullptr);
    LauncherApp* app = new (std::nothrow) LauncherApp;
    if (app != nullptr) {
        app->Run(instance, showCommand);
        delete app;
    }
    CoUninitialize();
    return 0;
}
