#pragma once
// The launcher window: the portal page above PLAY and CLOSE. It ends with the id of the button pressed,
// which the run sequence turns into what it starts.

#include <windows.h>

class BrowserHost;

// The host of the portal page, created while the window initialises; the run sequence takes it down
// after the window has ended.
extern BrowserHost* g_browserHost;

// Whether the window's OleInitialize succeeded, so the run sequence knows whether to pair it.
extern bool g_oleInitialised;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
