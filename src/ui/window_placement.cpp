#include "ui/window_placement.h"

POINT CentredOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight) {
    POINT origin;
    origin.x = (screenWidth - windowWidth) / 2;
    origin.y = (screenHeight - windowHeight) / 2;
    return origin;
}

void CentreOnScreen(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    const POINT origin =
        CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), width, height);
    MoveWindow(window, origin.x, origin.y, width, height, TRUE);
}
