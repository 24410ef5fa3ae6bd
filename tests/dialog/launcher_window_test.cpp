// The launcher window driven through the real dialog manager from the real template: the outcome each
// command ends it with, what it ignores, and how it looks once shown.

#include "webhost/browser_host.h"
#include "app/launcher_app.h"
#include "ui/main_dialog.h"
#include "ui/main_dialog_ids.h"
#include "ui/window_placement.h"

#include <functional>
#include <iterator>
#include <cstdlib>

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr UINT_PTR kShownTimer = 0x7A7;

std::function<void(HWND)> g_onInit;
std::function<bool(HWND)> g_onShown; // true once it has done its checks
int g_optionsOpened = 0;
HWND g_launcher = nullptr;

// Passes every message to the launcher's procedure unchanged; after initialisation it lets a test post
// its script. The test's own timer runs its checks once the dialog manager has shown the window.
INT_PTR CALLBACK Probe(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kShownTimer) {
        if (IsWindowVisible(dialog) && g_onShown && g_onShown(dialog)) {
            KillTimer(dialog, kShownTimer);
        }
        return TRUE;
    }
    const INT_PTR result = MainDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG && g_onInit) {
        g_launcher = dialog;
        const std::function<void(HWND)> script = std::move(g_onInit);
        g_onInit = nullptr; // the script runs once, even if it initialises the window again
        script(dialog);
    }
    return result;
}

// Closes the Options dialog as soon as it is activated, then lets the launcher's script go on.
LRESULT CALLBACK WatchForOptions(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char title[64] = {};
        GetWindowTextA(window, title, sizeof title);
        if (std::string(title) == "Options") {
            ++g_optionsOpened;
            EXPECT_EQ(GetWindow(window, GW_OWNER), g_launcher);
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class LauncherWindow : public ::testing::Test {
protected:
    void SetUp() override {
        g_optionsOpened = 0;
        hook = SetWindowsHookExA(WH_CBT, WatchForOptions, nullptr, GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
    }
    void TearDown() override {
        UnhookWindowsHookEx(hook);
        g_onInit = nullptr;
        g_onShown = nullptr;
    }

    // Shows the window modally as the run sequence does, and takes the browser down afterwards.
    static INT_PTR Run(std::function<void(HWND)> script) {
        g_onInit = std::move(script);
        const INT_PTR outcome =
            DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LAUNCHER), nullptr, Probe, 0);
        TearDownLauncherWindow();
        return outcome;
    }

    static void Post(HWND dialog, WPARAM command) { PostMessageA(dialog, WM_COMMAND, command, 0); }

    HHOOK hook = nullptr;
};

TEST_F(LauncherWindow, WhatEndsTheWindowAndWithWhichOutcome) {
    // The buttons end it with their own id, closing it means CLOSE, and only the low word of a command
    // names it.
    const struct {
        void (*script)(HWND);
        INT_PTR outcome;
    } rows[] = {
        {[](HWND d) { PostMessageA(GetDlgItem(d, IDC_PLAY), BM_CLICK, 0, 0); }, IDC_PLAY},
        {[](HWND d) { PostMessageA(GetDlgItem(d, IDC_CLOSE), BM_CLICK, 0, 0); }, IDC_CLOSE},
        {[](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); }, IDC_CLOSE},
        {[](HWND d) { Post(d, IDC_GAMEPAD); }, IDC_GAMEPAD},
        {[](HWND d) { Post(d, MAKEWPARAM(IDC_PLAY, 0x1234)); }, IDC_PLAY},
        {[](HWND d) { Post(d, MAKEWPARAM(IDC_GAMEPAD, BN_DOUBLECLICKED)); }, IDC_GAMEPAD},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(Run(rows[i].script), rows[i].outcome) << "row " << i;
    }
}

TEST_F(LauncherWindow, EscapeEnterOkCancelAndUnknownCommandsLeaveItOpen) {
    const INT_PTR outcome = Run([](HWND d) {
        HWND play = GetDlgItem(d, IDC_PLAY);
        PostMessageA(play, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(play, WM_KEYUP, VK_ESCAPE, 0);
        Post(d, IDOK);
        Post(d, IDCANCEL);
        Post(d, 4242);
        Post(d, IDC_GAMEPAD); // reached only if nothing before it ended the window
    });
    EXPECT_EQ(outcome, IDC_GAMEPAD);
}

TEST_F(LauncherWindow, OptionsCommandOpensOptionsAndTheWindowStaysOpen) {
    const INT_PTR outcome = Run([](HWND d) {
        Post(d, IDC_OPTIONS);
        Post(d, MAKEWPARAM(IDC_OPTIONS, BN_CLICKED));
        g_onShown = [](HWND shown) {
            if (g_optionsOpened < 2) {
                return false; // Options is still on its way
            }
            Post(shown, IDC_PLAY);
            return true;
        };
        SetTimer(d, kShownTimer, 20, nullptr);
    });
    EXPECT_EQ(outcome, IDC_PLAY);
    EXPECT_EQ(g_optionsOpened, 2);
}

TEST_F(LauncherWindow, InitialisingAgainNeitherEndsItNorOpensOptions) {
    BrowserHost* first = nullptr;
    BrowserHost* after = nullptr;
    const INT_PTR outcome = Run([&](HWND d) {
        first = g_browserHost;
        SendMessageA(d, WM_INITDIALOG, IDC_OPTIONS, 0);
        SendMessageA(d, WM_INITDIALOG, IDC_PLAY, IDC_PLAY);
        after = g_browserHost;
        Post(d, IDC_GAMEPAD);
    });
    EXPECT_EQ(outcome, IDC_GAMEPAD);
    EXPECT_EQ(g_optionsOpened, 0);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(after, first);
}

TEST_F(LauncherWindow, OtherMessagesGetZeroWithoutDefaultProcessing) {
    Run([](HWND d) {
        char text[32] = "untouched";
        // The default processing of WM_GETTEXT would copy the title and return its length.
        EXPECT_EQ(MainDialogProc(d, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)), 0);
        EXPECT_STREQ(text, "untouched");
        EXPECT_EQ(MainDialogProc(d, WM_GETTEXTLENGTH, 0, 0), 0);
        EXPECT_EQ(MainDialogProc(d, WM_NCHITTEST, 0, MAKELPARAM(5, 5)), 0);
        EXPECT_EQ(MainDialogProc(d, WM_USER + 7, 1, 2), 0);
        Post(d, IDC_PLAY);
    });
}

TEST_F(LauncherWindow, ShownTitledCentredWithOnlyPlayCloseAndTheFrame) {
    bool checked = false;
    const INT_PTR outcome = Run([&](HWND d) {
        g_onShown = [&](HWND shown) -> bool {
            char title[32] = {};
            GetWindowTextA(shown, title, sizeof title);
            EXPECT_STREQ(title, "Tavaren");

            // As much of the screen on the left as on the right, and above as below, give or take the
            // odd pixel.
            RECT bounds{};
            GetWindowRect(shown, &bounds);
            const int right = GetSystemMetrics(SM_CXSCREEN) - bounds.right;
            const int below = GetSystemMetrics(SM_CYSCREEN) - bounds.bottom;
            EXPECT_LE(std::abs(right - bounds.left), 1) << bounds.left << " left, " << right << " right";
            EXPECT_LE(std::abs(below - bounds.top), 1) << bounds.top << " above, " << below << " below";

            EXPECT_TRUE(IsWindowVisible(shown));
            EXPECT_EQ(GetWindowLongPtrA(shown, GWL_STYLE) & WS_CAPTION, WS_BORDER);
            for (int id : {IDC_PLAY, IDC_CLOSE, IDC_WEB_FRAME}) {
                EXPECT_TRUE(IsWindowVisible(GetDlgItem(shown, id))) << id;
            }
            for (int id : {IDC_GAMEPAD, IDC_OPTIONS, IDC_SPARE_COMBO}) {
                EXPECT_NE(GetDlgItem(shown, id), nullptr) << id;
                EXPECT_FALSE(IsWindowVisible(GetDlgItem(shown, id))) << id;
            }
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(shown, IDC_SPARE_COMBO)));

            // The portal page's control lives in the frame.
            EXPECT_TRUE(g_oleInitialised);
            EXPECT_NE(g_browserHost, nullptr);
            if (g_browserHost != nullptr) {
                EXPECT_EQ(g_browserHost->window, GetDlgItem(shown, IDC_WEB_FRAME));
                EXPECT_NE(g_browserHost->browser, nullptr);
            }
            checked = true;
            Post(shown, IDC_CLOSE);
            return true;
        };
        SetTimer(d, kShownTimer, 20, nullptr);
    });
    EXPECT_EQ(outcome, IDC_CLOSE);
    EXPECT_TRUE(checked);
}

TEST(Centring, HalvesTheFreeSpaceTruncatingTowardZero) {
    const struct {
        int screenWidth, screenHeight, windowWidth, windowHeight;
        LONG x, y;
    } rows[] = {
        {1920, 1080, 651, 384, 634, 348},
        {1024, 768, 1099, 800, -37, -16},
        {1280, 1024, 1280, 1024, 0, 0},
    };
    for (const auto& row : rows) {
        const POINT origin =
            CentredOrigin(row.screenWidth, row.screenHeight, row.windowWidth, row.windowHeight);
        EXPECT_EQ(origin.x, row.x) << row.screenWidth << " " << row.windowWidth;
        EXPECT_EQ(origin.y, row.y) << row.screenHeight << " " << row.windowHeight;
    }
}

} // namespace
