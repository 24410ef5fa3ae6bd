#include "options_dialog.h"

#include "window_placement.h"

void FillOptionsDialog(HWND) {}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        FillOptionsDialog(dialog);
        CentreOnScreen(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
        }
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 1002);
        return TRUE;
    default:
        return FALSE;
    }
}
