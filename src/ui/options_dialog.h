#pragma once
// The Options dialog: full-screen resolution from the display modes, and Bloom.

#include <windows.h>

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fills the controls from g_settings and g_displayModes.
void FillOptionsDialog(HWND dialog);
