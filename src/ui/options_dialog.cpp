#include "ui/options_dialog.h"

#include "settings/config_file.h"
#include "display/display_modes.h"
#include "settings/launcher_settings.h"
#include "ui/options_dialog_ids.h"
#include "ui/save_message.h"
#include "ui/window_placement.h"

#include <cstddef>
#include <cstdint>

namespace {

// A combo box item's text: "1280 x 720 x 32".
void FormatModeText(const DisplayMode& mode, char (&text)[256]) {
    wsprintfA(text, "%d x %d x %d", static_cast<int>(mode.width), static_cast<int>(mode.height),
              static_cast<int>(mode.bpp));
}

// Whether the mode is the one in g_settings, compared in 64 bits so that neither side wraps.
bool IsCurrentMode(const DisplayMode& mode) {
    return static_cast<std::int64_t>(mode.width) == g_settings.screenWidth &&
           static_cast<std::int64_t>(mode.height) == g_settings.screenHeight &&
           static_cast<std::int64_t>(mode.bpp) == g_settings.screenBPP;
}

// The index of the item whose item data is position, or CB_ERR.
LRESULT FindItemOfPosition(HWND combo, std::size_t position) {
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        const LRESULT data = SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
        if (data >= 0 && static_cast<std::size_t>(data) == position) { // CB_ERR is negative
            return index;
        }
    }
    return CB_ERR;
}

// Each item carries the position of its record in g_displayModes, since the combo box sorts the items by
// their text. The current mode is selected, else the first item.
void FillResolutions(HWND combo) {
    bool found = false;
    std::size_t current = 0;
    for (std::size_t position = 0; position < g_displayModes.size(); ++position) {
        const DisplayMode& mode = g_displayModes[position];
        char text[256];
        FormatModeText(mode, text);
        const LRESULT index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (index >= 0) {
            SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(position));
        }
        if (IsCurrentMode(mode)) {
            found = true;
            current = position;
        }
    }
    if (g_displayModes.empty()) {
        return;
    }
    LRESULT selection = found ? FindItemOfPosition(combo, current) : CB_ERR;
    if (selection == CB_ERR) {
        selection = 0;
    }
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

// The record the selected item stands for, or null when nothing valid is selected.
const DisplayMode* SelectedMode(HWND combo) {
    const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return nullptr;
    }
    const LRESULT data = SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    if (data < 0 || static_cast<std::size_t>(data) >= g_displayModes.size()) { // CB_ERR is negative
        return nullptr;
    }
    return &g_displayModes[static_cast<std::size_t>(data)];
}

// OK: the selected mode becomes the resolution, and the settings are written. Bloom, shown and confirmed,
// is the player's choice either way; without a selected mode the resolution stays what config.cfg said,
// or unwritten when it said nothing.
//
// A save that did not land says why in a message box owned by the dialog, which then stays open with the
// player's choices as they are: OK tries again, Cancel closes. The settings in memory go back to what they
// were before this OK, so that the game's next start and the next opening of Options meet what config.cfg
// holds (a Bloom click stays, as after any Cancel). A stranded save keeps them: the next start puts its new
// file in place.
void Accept(HWND dialog) {
    const LauncherSettings before = g_settings;
    const SettingSet knownBefore = g_knownSettings;
    if (const DisplayMode* mode = SelectedMode(GetDlgItem(dialog, IDC_RESOLUTION))) {
        g_settings.screenBPP = static_cast<std::int32_t>(mode->bpp);
        g_settings.screenWidth = static_cast<std::int32_t>(mode->width);
        g_settings.screenHeight = static_cast<std::int32_t>(mode->height);
        g_knownSettings |= kResolutionSettings;
    }
    g_knownSettings |= kBloomSetting;
    const SaveResult saved = WriteSettings();
    const char* const failure = SaveFailureText(saved);
    if (failure == nullptr) {
        EndDialog(dialog, IDOK);
        return;
    }
    if (saved.outcome != WriteOutcome::Stranded) {
        g_settings = before;
        g_knownSettings = knownBefore;
    }
    MessageBoxA(dialog, failure, kSaveMessageCaption, MB_OK | MB_ICONWARNING);
}

// The Bloom box takes effect in g_settings at once; OK writes it, Cancel does not undo it.
void OnBloomClicked(HWND dialog) {
    switch (IsDlgButtonChecked(dialog, IDC_BLOOM)) {
    case BST_UNCHECKED:
        g_settings.bloom = 0;
        break;
    case BST_CHECKED:
        g_settings.bloom = 1;
        break;
    default:
        break;
    }
}

// Commands by their id alone; the notification code is not looked at.
void OnCommand(HWND dialog, WORD command) {
    switch (command) {
    case IDOK:
        Accept(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    case IDC_BLOOM:
        OnBloomClicked(dialog);
        break;
    default:
        break;
    }
}

void OnInitDialog(HWND dialog) {
    ListDisplayModesOnce();
    FillOptionsDialog(dialog);
    CentreOnScreen(dialog);
}

} // namespace

void FillOptionsDialog(HWND dialog) {
    CheckDlgButton(dialog, IDC_BLOOM, g_settings.bloom != 0 ? BST_CHECKED : BST_UNCHECKED);
    FillResolutions(GetDlgItem(dialog, IDC_RESOLUTION));
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        // Not handed on: the default processing would destroy the window inside the modal loop.
        EndDialog(dialog, kOptionsClosed);
        return TRUE;
    default:
        return FALSE;
    }
}
