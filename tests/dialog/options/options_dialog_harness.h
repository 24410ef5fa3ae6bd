#pragma once
// Running the Options dialog modally from its real template through the real dialog manager, with a test
// script that runs inside the modal loop once the dialog is on screen.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "display/display_modes.h"

// What RunOptionsDialog returns when the script left the dialog open and the safety net ended it.
constexpr INT_PTR kDialogLeftOpen = -77;

// Shows template 105 with DialogBoxParamA (module null: the template comes from this test program) and
// OptionsDialogProc, owned by owner. Once the dialog is visible, script runs with the dialog's handle,
// from within the modal loop; it may end the dialog itself or post input that ends it. Returns what
// DialogBoxParamA returns.
INT_PTR RunOptionsDialog(HWND owner, const std::function<void(HWND dialog)>& script);

// A hidden top-level window standing in for the launcher window as the dialog's owner.
class OwnerWindow {
public:
    OwnerWindow();
    ~OwnerWindow();
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

// A fresh empty directory made the working directory for the lifetime of the object.
class TemporaryWorkingDirectory {
public:
    TemporaryWorkingDirectory();
    ~TemporaryWorkingDirectory();
    TemporaryWorkingDirectory(const TemporaryWorkingDirectory&) = delete;
    TemporaryWorkingDirectory& operator=(const TemporaryWorkingDirectory&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string previous_;
    std::string path_;
};

// Whole-file access in the working directory; ReadBytes gives "<missing>" for a file that is not there.
void WriteBytes(const char* fileName, const std::string& bytes);
std::string ReadBytes(const char* fileName);

// The combo box's items, in the combo box's order: their texts and their item data.
std::vector<std::string> ItemTexts(HWND combo);
std::vector<LRESULT> ItemData(HWND combo);
// The text of the selected item, or "<none>" when nothing is selected.
std::string SelectedItemText(HWND combo);

std::string WindowText(HWND window);
std::string ClassName(HWND window);

// A record of g_displayModes.
DisplayMode Mode(std::uint32_t width, std::uint32_t height, std::uint32_t bpp = 32);
