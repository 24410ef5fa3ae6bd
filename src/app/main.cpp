// Tavaren.exe: the launcher that stands in front of the game.

#include "launcher_app.h"

#include <new>
#include <objbase.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    CoInitialize(nullptr);
    LauncherApp* app = new (std::nothrow) LauncherApp;
    if (app != nullptr) {
        app->Run(instance, showCommand);
        delete app;
    }
    CoUninitialize();
    return 0;
}
