#include "options_dialog_harness.h"

#include "ui/options_dialog.h"
#include "ui/options_dialog_ids.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// How often the timer looks for the shown dialog, and how long a script may leave it open.
constexpr UINT kPollMilliseconds = 10;
constexpr UINT kSafetyMilliseconds = 10000;

const std::function<void(HWND)>* g_script = nullptr;
UINT_PTR g_pollTimer = 0;
UINT_PTR g_safetyTimer = 0;

BOOL CALLBACK FindOptionsOfThisThread(HWND window, LPARAM found) {
    if (ClassName(window) == "#32770" && WindowText(window) == "Options") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND OptionsDialogOfThisThread() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindOptionsOfThisThread, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Runs the script once the dialog is visible (the modal loop shows it when it first finds its queue
// empty, after WM_INITDIALOG).
void CALLBACK PollForDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = OptionsDialogOfThisThread();
    if (dialog == nullptr || !IsWindowVisible(dialog) || g_script == nullptr) {
        return;
    }
    KillTimer(nullptr, g_pollTimer);
    g_pollTimer = 0;
    const std::function<void(HWND)>* script = g_script;
    g_script = nullptr;
    (*script)(dialog);
    // A script stopped by a failed assertion leaves the dialog open: end it rather than wait.
    if (::testing::Test::HasFatalFailure() && IsWindowVisible(dialog)) {
        EndDialog(dialog, kDialogLeftOpen);
    }
}

void CALLBACK EndLeftOpenDialog(HWND, UINT, UINT_PTR, DWORD) {
    KillTimer(nullptr, g_safetyTimer);
    g_safetyTimer = 0;
    if (HWND dialog = OptionsDialogOfThisThread()) {
        ADD_FAILURE() << "the script left the Options dialog open";
        EndDialog(dialog, kDialogLeftOpen);
    }
}

} // namespace

INT_PTR RunOptionsDialog(HWND owner, const std::function<void(HWND)>& script) {
    g_script = &script;
    g_pollTimer = SetTimer(nullptr, 0, kPollMilliseconds, PollForDialog);
    g_safetyTimer = SetTimer(nullptr, 0, kSafetyMilliseconds, EndLeftOpenDialog);
    const INT_PTR outcome =
        DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_OPTIONS), owner, OptionsDialogProc, 0);
    if (g_pollTimer != 0) {
        KillTimer(nullptr, g_pollTimer);
        g_pollTimer = 0;
    }
    if (g_safetyTimer != 0) {
        KillTimer(nullptr, g_safetyTimer);
        g_safetyTimer = 0;
    }
    EXPECT_EQ(g_script, nullptr) << "the dialog ended before the script ran";
    g_script = nullptr;
    return outcome;
}

OwnerWindow::OwnerWindow() {
    window_ = CreateWindowExA(0, "STATIC", "Tavaren", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
}

OwnerWindow::~OwnerWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

TemporaryWorkingDirectory::TemporaryWorkingDirectory() {
    char buffer[MAX_PATH];
    previous_.assign(buffer, GetCurrentDirectoryA(MAX_PATH, buffer));
    char base[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, base);
    for (unsigned attempt = 0; attempt < 1000 && path_.empty(); ++attempt) {
        const std::string candidate = std::string(base, length) + "tavaren-options-" +
                                      std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
        }
    }
    if (path_.empty() || !SetCurrentDirectoryA(path_.c_str())) {
        ADD_FAILURE() << "no temporary working directory";
    }
}

TemporaryWorkingDirectory::~TemporaryWorkingDirectory() {
    SetCurrentDirectoryA(previous_.c_str());
    if (path_.empty()) {
        return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                DeleteFileA((path_ + "\\" + entry.cFileName).c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

void WriteBytes(const char* fileName, const std::string& bytes) {
    std::FILE* file = std::fopen(fileName, "wb");
    ASSERT_NE(file, nullptr) << fileName;
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

std::string ReadBytes(const char* fileName) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        return "<missing>";
    }
    std::string bytes;
    char buffer[4096];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.append(buffer, count);
    }
    std::fclose(file);
    return bytes;
}

std::vector<std::string> ItemTexts(HWND combo) {
    std::vector<std::string> texts;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        char text[256] = {};
        const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length < 0 || length >= static_cast<LRESULT>(sizeof text)) {
            texts.push_back("<bad length>");
            continue;
        }
        SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        texts.push_back(text);
    }
    return texts;
}

std::vector<LRESULT> ItemData(HWND combo) {
    std::vector<LRESULT> data;
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        data.push_back(SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    }
    return data;
}

std::string SelectedItemText(HWND combo) {
    const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return "<none>";
    }
    const std::vector<std::string> texts = ItemTexts(combo);
    return static_cast<std::size_t>(index) < texts.size() ? texts[static_cast<std::size_t>(index)]
                                                          : "<bad index>";
}

std::string WindowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

DisplayMode Mode(std::uint32_t width, std::uint32_t height, std::uint32_t bpp) {
    return DisplayMode{height, width, bpp};
}
