#pragma once
// The Options dialog: full-screen resolution from the display modes, and Bloom.

#include <windows.h>

// What the dialog ends with when its window is closed (rather than OK, 1, or Cancel and Escape, 2).
constexpr INT_PTR kOptionsClosed = 1002;

// On WM_INITDIALOG the display modes are listed, the first time in the run (ListDisplayModesOnce), before
// the controls are filled.
INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fills the controls from g_settings and g_displayModes: Bloom checked when g_settings.bloom is not 0,
// one "W x H x BPP" item a mode, and the item of the mode in g_settings selected (else the first item).
void FillOptionsDialog(HWND dialog);
