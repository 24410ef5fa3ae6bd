#pragma once
// Centring of the launcher's windows on the primary screen.

#include <windows.h>

// Top-left corner that centres a window of the given size on a screen of the given size. Signed division
// truncating toward zero, so a window larger than the screen gets a negative coordinate.
POINT CentredOrigin(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

// Moves `window` to the centre of the primary screen, keeping its size.
void CentreOnScreen(HWND window);
