// hold_desktop.exe: keeps the desktop of the benchmark's Wine prefix alive while it runs. Wine closes a
// desktop, and ends the process behind it, about a second after the last program using it exits; every
// measured start would then pay for bringing the desktop up again, which a Windows session never does.
// It makes the desktop window exist, then waits for messages until it is ended.

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (GetDesktopWindow() == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    return 0;
}
