// The Options dialog from its real template (linked into this program), run modally through the real
// dialog manager with OptionsDialogProc, and driven from inside its modal loop with real button clicks,
// key presses and window messages.

#include "settings/config_file.h"
#include "display/display_modes.h"
#include "settings/launcher_settings.h"
#include "ui/options_dialog.h"
#include "options_dialog_harness.h"
#include "ui/options_dialog_ids.h"
#include "ui/window_placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        g_settings = LauncherSettings{};
        g_knownSettings = 0;
        g_displayModes.clear();
        // The list a test sets stands for what Direct3D 9 reported: the dialog does not list the modes again.
        g_displayModesListed = true;
        ASSERT_NE(owner.handle(), nullptr);
    }
    void TearDown() override {
        g_settings = LauncherSettings{};
        g_knownSettings = 0;
        g_displayModes.clear();
        g_displayModesListed = true;
    }

    INT_PTR Run(const std::function<void(HWND)>& script) { return RunOptionsDialog(owner.handle(), script); }

    // The dialog as a person leaves it: one click on OK or Cancel.
    static void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

    // A key pressed while the focused control has the keyboard: the dialog manager's message loop sees it.
    static void PressKey(HWND dialog, WPARAM key) {
        HWND focus = GetFocus();
        HWND target = focus != nullptr && (focus == dialog || IsChild(dialog, focus)) ? focus : dialog;
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    }

    static LauncherSettings SettingsInFile() {
        LauncherSettings read{};
        EXPECT_TRUE(ReadSettingsFile(kConfigFileName, read));
        return read;
    }

    // As if config.cfg had named all four at start.
    static void SetSettings(std::int32_t width, std::int32_t height, std::int32_t bpp, std::int32_t bloom) {
        g_settings.screenWidth = width;
        g_settings.screenHeight = height;
        g_settings.screenBPP = bpp;
        g_settings.bloom = bloom;
        g_knownSettings = kAllSettings;
    }

    static void ExpectSettings(const LauncherSettings& settings, std::int32_t width, std::int32_t height,
                               std::int32_t bpp, std::int32_t bloom) {
        EXPECT_EQ(settings.screenWidth, width);
        EXPECT_EQ(settings.screenHeight, height);
        EXPECT_EQ(settings.screenBPP, bpp);
        EXPECT_EQ(settings.bloom, bloom);
    }

    static std::string Text(const DisplayMode& mode) {
        return std::to_string(mode.width) + " x " + std::to_string(mode.height) + " x " +
               std::to_string(mode.bpp);
    }

    OwnerWindow owner;
    TemporaryWorkingDirectory directory;
};

// What the template gives the live window.

using OptionsDialogTemplate = OptionsDialog;

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;
    RECT units; // x, y, width, height in dialog units
    LONG typeStyle;
    bool visible;
    bool enabled;
    bool tabStop;
};

// The bits of a control's style that give its kind.
LONG_PTR TypeMask(const std::string& className) {
    if (className == "Button") {
        return BS_TYPEMASK;
    }
    if (className == "Static") {
        return SS_TYPEMASK;
    }
    return CBS_SIMPLE | CBS_DROPDOWN | CBS_DROPDOWNLIST;
}

TEST_F(OptionsDialogTemplate, TheLiveWindowHasTheCaptionAndTheNineControlsInTemplateOrder) {
    const ExpectedControl expected[] = {
        {IDOK, "Button", "OK", {71, 78, 50, 14}, BS_DEFPUSHBUTTON, true, true, true},
        {IDCANCEL, "Button", "Cancel", {129, 78, 50, 14}, BS_PUSHBUTTON, true, true, true},
        {IDC_MOTION_BLUR, "Button", "Motion Blur", {13, 40, 96, 10}, BS_AUTOCHECKBOX, false, false, true},
        {IDC_LENS_FLARE, "Button", "Lens Flare", {13, 54, 49, 10}, BS_AUTOCHECKBOX, false, false, true},
        {IDC_BLOOM, "Button", "Bloom", {123, 40, 35, 10}, BS_AUTOCHECKBOX, true, true, true},
        {IDC_SMOKE, "Button", "Smoke", {123, 54, 38, 10}, BS_AUTOCHECKBOX, false, false, true},
        {-1, "Button", "Video", {7, 7, 172, 64}, BS_GROUPBOX, true, true, false},
        {-1, "Static", "Screen Resolution", {15, 22, 59, 8}, SS_LEFT, true, true, false},
        {IDC_RESOLUTION, "ComboBox", "", {83, 19, 81, 58}, CBS_DROPDOWN, true, true, true},
    };
    const INT_PTR outcome = Run([&](HWND dialog) {
        EXPECT_EQ(WindowText(dialog), "Options");
        EXPECT_NE(GetWindowLongPtrA(dialog, GWL_STYLE) & WS_CAPTION, 0);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner.handle());
        EXPECT_FALSE(IsWindowEnabled(owner.handle()))
            << "modal: the owner is disabled while the dialog is open";

        RECT client{};
        GetClientRect(dialog, &client);
        RECT size{0, 0, 186, 99};
        MapDialogRect(dialog, &size);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);

        std::vector<HWND> children;
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        ASSERT_EQ(children.size(), std::size(expected));
        for (std::size_t i = 0; i < children.size(); ++i) {
            const ExpectedControl& control = expected[i];
            HWND child = children[i];
            SCOPED_TRACE(control.text);
            EXPECT_EQ(GetDlgCtrlID(child), control.id);
            EXPECT_EQ(ClassName(child), control.className);
            if (control.id != IDC_RESOLUTION) {
                EXPECT_EQ(WindowText(child), control.text);
            }
            const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
            EXPECT_NE(style & WS_CHILD, 0);
            EXPECT_EQ((style & WS_VISIBLE) != 0, control.visible);
            EXPECT_EQ(IsWindowEnabled(child) != FALSE, control.enabled);
            EXPECT_EQ((style & WS_TABSTOP) != 0, control.tabStop);
            EXPECT_EQ(style & TypeMask(control.className), control.typeStyle);

            // The dialog manager converts position and size separately.
            RECT units = control.units;
            MapDialogRect(dialog, &units);
            RECT placed{};
            GetWindowRect(child, &placed);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
            EXPECT_EQ(placed.left, units.left);
            EXPECT_EQ(placed.top, units.top);
            EXPECT_EQ(placed.right - placed.left, units.right);
            if (control.id != IDC_RESOLUTION) { // the combo box's window is its closed height
                EXPECT_EQ(placed.bottom - placed.top, units.bottom);
            }
        }
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        const LONG_PTR comboStyle = GetWindowLongPtrA(combo, GWL_STYLE);
        EXPECT_NE(comboStyle & CBS_SORT, 0);
        EXPECT_NE(GetWindowLongPtrA(children[6], GWL_STYLE) & BS_FLAT, 0);
        EXPECT_NE(GetWindowLongPtrA(children[7], GWL_STYLE) & WS_GROUP, 0);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(outcome, IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(owner.handle()));
}

TEST_F(OptionsDialogTemplate, IsCentredOnTheScreen) {
    RECT shown{};
    const INT_PTR outcome = Run([&](HWND dialog) {
        GetWindowRect(dialog, &shown);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(outcome, IDCANCEL);
    const int width = shown.right - shown.left;
    const int height = shown.bottom - shown.top;
    const POINT origin =
        CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), width, height);
    EXPECT_GT(width, 0);
    EXPECT_EQ(shown.left, origin.x);
    EXPECT_EQ(shown.top, origin.y);
}

// The resolution list: item texts, their order, their data, and the preselection.

using OptionsDialogList = OptionsDialog;

TEST_F(OptionsDialogList, ItemsAreTheRecordsInTextOrderEachCarryingItsPosition) {
    g_displayModes = {Mode(1280, 720), Mode(1024, 768), Mode(1280, 1024), Mode(1920, 1080)};
    std::vector<std::string> texts;
    std::vector<LRESULT> data;
    Run([&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        texts = ItemTexts(combo);
        data = ItemData(combo);
        Click(dialog, IDCANCEL);
    });

    // Text order, not numeric order: "1280 x 1024" comes before "1280 x 720".
    const std::vector<std::string> expectedTexts{"1024 x 768 x 32", "1280 x 1024 x 32", "1280 x 720 x 32",
                                                 "1920 x 1080 x 32"};
    EXPECT_EQ(texts, expectedTexts);
    const std::vector<LRESULT> expectedData{1, 2, 0, 3};
    EXPECT_EQ(data, expectedData);
    ASSERT_EQ(texts.size(), data.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_GE(data[i], 0);
        ASSERT_LT(static_cast<std::size_t>(data[i]), g_displayModes.size());
        EXPECT_EQ(texts[i], Text(g_displayModes[static_cast<std::size_t>(data[i])]));
    }
}

TEST_F(OptionsDialogList, TextsAreSignedDecimalWidthHeightAndBpp) {
    g_displayModes = {Mode(0xFFFFFFFFu, 768), Mode(1600, 900, 16)};
    std::vector<std::string> texts;
    Run([&](HWND dialog) {
        texts = ItemTexts(GetDlgItem(dialog, IDC_RESOLUTION));
        Click(dialog, IDCANCEL);
    });
    const std::vector<std::string> expected{"-1 x 768 x 32", "1600 x 900 x 16"};
    EXPECT_EQ(texts, expected);
}

TEST_F(OptionsDialogList, TheCurrentModeIsFoundByItsItemDataNotByItsIndex) {
    // The later record's text sorts before the current one, moving it to index 1.
    g_displayModes = {Mode(1280, 720), Mode(1280, 1024)};
    SetSettings(1280, 720, 32, 0);
    std::string selected;
    LRESULT index = CB_ERR;
    Run([&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        selected = SelectedItemText(combo);
        index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(selected, "1280 x 720 x 32");
    EXPECT_EQ(index, 1);
}

TEST_F(OptionsDialogList, ALaterEqualRecordIsTheOneSelected) {
    g_displayModes = {Mode(1024, 768), Mode(1280, 1024), Mode(1024, 768)};
    SetSettings(1024, 768, 32, 0);
    LRESULT selectedData = CB_ERR;
    Run([&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        selectedData = SendMessageA(combo, CB_GETITEMDATA, SendMessageA(combo, CB_GETCURSEL, 0, 0), 0);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(selectedData, 2);
}

TEST_F(OptionsDialogList, TheFirstItemInTextOrderIsSelectedWhenNoRecordMatches) {
    g_displayModes = {Mode(1920, 1080), Mode(1280, 1024), Mode(1024, 768)};
    struct Case {
        std::int32_t width, height, bpp;
    };
    const Case cases[] = {
        {0, 0, 0},        // no config.cfg at start
        {1280, 1024, 16}, // the size is listed, the bpp is not
        {1280, 1024, 0},
        {-1, 768, 32}, // a negative width is no width at all, not 4294967295
    };
    g_displayModes.push_back(Mode(0xFFFFFFFFu, 768));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.bpp));
        SetSettings(c.width, c.height, c.bpp, 0);
        LRESULT index = CB_ERR;
        std::string selected;
        Run([&](HWND dialog) {
            HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
            index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
            selected = SelectedItemText(combo);
            Click(dialog, IDCANCEL);
        });
        EXPECT_EQ(index, 0);
        EXPECT_EQ(selected, "-1 x 768 x 32"); // the first text in the combo box's order
    }
}

TEST_F(OptionsDialogList, AnEmptyListLeavesTheComboBoxEmptyWithoutSelection) {
    SetSettings(1280, 1024, 32, 0);
    LRESULT count = -1;
    LRESULT index = 0;
    Run([&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(index, CB_ERR);
}

TEST_F(OptionsDialogList, TheFirstOpeningListsDirect3DsModesAndLaterOpeningsKeepThem) {
    // As in a fresh launcher: nothing has loaded Direct3D 9 yet.
    g_displayModesListed = false;
    ASSERT_EQ(GetModuleHandleW(L"d3d9.dll"), nullptr);
    // The screen's own mode is one of the adapter's (the test screen is at least 1024 by 768).
    const std::string screenMode = std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " x " +
                                   std::to_string(GetSystemMetrics(SM_CYSCREEN)) + " x 32";
    std::vector<std::string> first;
    std::vector<std::string> second;
    Run([&](HWND dialog) {
        first = ItemTexts(GetDlgItem(dialog, IDC_RESOLUTION));
        Click(dialog, IDCANCEL);
    });
    EXPECT_NE(GetModuleHandleW(L"d3d9.dll"), nullptr);
    EXPECT_NE(std::find(first.begin(), first.end(), screenMode), first.end()) << screenMode;
    // Had the second opening asked Direct3D 9 again, this list would be gone.
    g_displayModes = {Mode(1600, 900)};
    Run([&](HWND dialog) {
        second = ItemTexts(GetDlgItem(dialog, IDC_RESOLUTION));
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(second, std::vector<std::string>{"1600 x 900 x 32"});
}

TEST_F(OptionsDialogList, EveryOpeningIsFilledAfreshFromTheCurrentSettings) {
    g_displayModes = {Mode(1024, 768), Mode(1280, 1024), Mode(1600, 900)};
    SetSettings(1280, 1024, 32, 0);
    std::string first;
    std::string second;
    LRESULT secondCount = 0;
    Run([&](HWND dialog) {
        first = SelectedItemText(GetDlgItem(dialog, IDC_RESOLUTION));
        Click(dialog, IDCANCEL);
    });
    SetSettings(1600, 900, 32, 0);
    Run([&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        second = SelectedItemText(combo);
        secondCount = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(first, "1280 x 1024 x 32");
    EXPECT_EQ(second, "1600 x 900 x 32");
    EXPECT_EQ(secondCount, 3);
}

// Bloom: the check box follows the setting, and each click sets the setting at once.

using OptionsDialogBloom = OptionsDialog;

TEST_F(OptionsDialogBloom, ANonZeroSettingIsShownCheckedAndTheFirstClickClearsIt) {
    SetSettings(0, 0, 0, 5);
    UINT shown = 99;
    std::int32_t afterFirst = -1;
    std::int32_t afterSecond = -1;
    Run([&](HWND dialog) {
        shown = IsDlgButtonChecked(dialog, IDC_BLOOM);
        Click(dialog, IDC_BLOOM);
        afterFirst = g_settings.bloom;
        Click(dialog, IDC_BLOOM);
        afterSecond = g_settings.bloom;
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(shown, static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(afterFirst, 0);
    EXPECT_EQ(afterSecond, 1);
}

TEST_F(OptionsDialogBloom, ZeroIsShownUnchecked) {
    UINT shown = 99;
    Run([&](HWND dialog) {
        shown = IsDlgButtonChecked(dialog, IDC_BLOOM);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(shown, static_cast<UINT>(BST_UNCHECKED));
}

TEST_F(OptionsDialogBloom, AStateOtherThanCheckedOrUncheckedLeavesTheSetting) {
    // Only a three-state box can be indeterminate: make this one so, then let it report a click.
    SetSettings(0, 0, 0, 5);
    std::int32_t after = -1;
    Run([&](HWND dialog) {
        HWND bloom = GetDlgItem(dialog, IDC_BLOOM);
        SetWindowLongPtrA(bloom, GWL_STYLE, (GetWindowLongPtrA(bloom, GWL_STYLE) & ~0xFL) | BS_3STATE);
        CheckDlgButton(dialog, IDC_BLOOM, BST_INDETERMINATE);
        ASSERT_EQ(IsDlgButtonChecked(dialog, IDC_BLOOM), static_cast<UINT>(BST_INDETERMINATE));
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_BLOOM, BN_CLICKED), reinterpret_cast<LPARAM>(bloom));
        after = g_settings.bloom;
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(after, 5);
}

TEST_F(OptionsDialogBloom, CancelKeepsTheClickInMemoryButWritesNothing) {
    const std::string original = "# game settings\r\nscreenWidth = 1280\r\nbloom = 0\r\nsound = 1\r\n";
    WriteBytes(kConfigFileName, original);
    ReadSettings();
    g_displayModes = {Mode(1280, 1024)};

    const INT_PTR cancelled = Run([&](HWND dialog) {
        Click(dialog, IDC_BLOOM);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(cancelled, IDCANCEL);
    EXPECT_EQ(ReadBytes(kConfigFileName), original);
    EXPECT_EQ(g_settings.bloom, 1);

    UINT shownNext = 99;
    const INT_PTR accepted = Run([&](HWND dialog) {
        shownNext = IsDlgButtonChecked(dialog, IDC_BLOOM);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(shownNext, static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(accepted, IDOK);
    EXPECT_EQ(SettingsInFile().bloom, 1);
}

// How the dialog ends, and what it writes.

using OptionsDialogOutcome = OptionsDialog;

TEST_F(OptionsDialogOutcome, OkUntouchedWritesThePreselectedModeWithBpp32) {
    // No config.cfg at start: settings all 0, the first item in text order is preselected.
    g_displayModes = {Mode(1920, 1080), Mode(1280, 1024), Mode(1024, 768)};
    const INT_PTR outcome = Run([&](HWND dialog) { Click(dialog, IDOK); });
    EXPECT_EQ(outcome, IDOK);
    ExpectSettings(g_settings, 1024, 768, 32, 0);
    ExpectSettings(SettingsInFile(), 1024, 768, 32, 0);
}

TEST_F(OptionsDialogOutcome, OkKeepsTheCurrentModeAndTheFilesOtherLines) {
    WriteBytes(kConfigFileName, "screenWidth = 1280\nname = Tavaren\nscreenHeight = 1024\nscreenBPP = 32\n"
                                "bloom = 1\n");
    ReadSettings();
    g_displayModes = {Mode(1024, 768), Mode(1280, 1024), Mode(1600, 900)};
    const INT_PTR outcome = Run([&](HWND dialog) { Click(dialog, IDOK); });
    EXPECT_EQ(outcome, IDOK);
    ExpectSettings(SettingsInFile(), 1280, 1024, 32, 1);
    EXPECT_NE(ReadBytes(kConfigFileName).find("name = Tavaren"), std::string::npos);
}

TEST_F(OptionsDialogOutcome, OkTakesTheRecordOfTheSelectedItem) {
    g_displayModes = {Mode(1024, 768), Mode(1280, 720), Mode(1280, 1024)};
    SetSettings(1024, 768, 32, 0);
    const INT_PTR outcome = Run([&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        const LRESULT index = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>("1280 x 720 x 32"));
        ASSERT_NE(index, CB_ERR);
        SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        // The combo box's own notification changes nothing yet.
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_RESOLUTION, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        EXPECT_EQ(g_settings.screenWidth, 1024);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(outcome, IDOK);
    ExpectSettings(g_settings, 1280, 720, 32, 0);
    ExpectSettings(SettingsInFile(), 1280, 720, 32, 0);
}

TEST_F(OptionsDialogOutcome, TextTypedIntoTheEditFieldIsNotRead) {
    g_displayModes = {Mode(1024, 768), Mode(1280, 1024)};
    SetSettings(1280, 1024, 32, 0);
    LRESULT selectedData = CB_ERR;
    const INT_PTR outcome = Run([&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        HWND edit = GetWindow(combo, GW_CHILD);
        ASSERT_NE(edit, nullptr);
        SetFocus(edit);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        for (const char c : std::string("800 x 600 x 32")) {
            SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
        }
        EXPECT_EQ(WindowText(combo), "800 x 600 x 32");
        const LRESULT selection = SendMessageA(combo, CB_GETCURSEL, 0, 0);
        if (selection != CB_ERR) {
            selectedData = SendMessageA(combo, CB_GETITEMDATA, static_cast<WPARAM>(selection), 0);
        }
        Click(dialog, IDOK);
    });
    EXPECT_EQ(outcome, IDOK);
    // OK takes the list selection as the combo box holds it (if any), never the typed text.
    if (selectedData == CB_ERR) {
        ExpectSettings(g_settings, 1280, 1024, 32, 0);
    } else {
        ASSERT_LT(static_cast<std::size_t>(selectedData), g_displayModes.size());
        const DisplayMode& mode = g_displayModes[static_cast<std::size_t>(selectedData)];
        ExpectSettings(g_settings, static_cast<std::int32_t>(mode.width),
                       static_cast<std::int32_t>(mode.height), 32, 0);
    }
}

// OK with no usable mode to take (an empty list, no selection, item data no record has) keeps the
// resolution it had and writes the rest.
TEST_F(OptionsDialogOutcome, OkWithNoModeToTakeLeavesTheResolution) {
    const struct {
        const char* what;
        std::vector<DisplayMode> modes;
        std::function<void(HWND)> beforeOk;
        std::int32_t bloom;
    } rows[] = {
        {"an empty list", {}, [](HWND dialog) { Click(dialog, IDC_BLOOM); }, 1},
        {"nothing selected",
         {Mode(1024, 768), Mode(1280, 1024)},
         [](HWND dialog) {
             SendMessageA(GetDlgItem(dialog, IDC_RESOLUTION), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
         },
         0},
        {"item data outside the list",
         {Mode(1024, 768), Mode(1280, 1024)},
         [](HWND dialog) {
             HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
             const LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
             SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), 2);
         },
         0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::remove(kConfigFileName);
        g_displayModes.clear();
        for (const DisplayMode& mode : row.modes) {
            g_displayModes.push_back(mode);
        }
        SetSettings(1600, 900, 32, 0);
        const INT_PTR outcome = Run([&](HWND dialog) {
            row.beforeOk(dialog);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(outcome, IDOK);
        ExpectSettings(g_settings, 1600, 900, 32, row.bloom);
        ExpectSettings(SettingsInFile(), 1600, 900, 32, row.bloom);
    }
}

// Answers each message box that the dialog owns, from a thread timer (which its modal loop runs), noting
// what the box showed.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(HWND owner) : owner_(owner) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 20, Tick);
    }
    ~MessageBoxAnswerer() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    int answered = 0;
    std::string caption;
    std::string text;
    bool warningIcon = false;

private:
    static BOOL CALLBACK FindBox(HWND window, LPARAM found) {
        if (ClassName(window) == "#32770" && IsWindowVisible(window) &&
            GetWindow(window, GW_OWNER) == current_->owner_) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }
    static BOOL CALLBACK ReadStatic(HWND control, LPARAM) {
        if (ClassName(control) != "Static") {
            return TRUE;
        }
        if ((GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            current_->warningIcon = reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0)) ==
                                    LoadIconA(nullptr, IDI_WARNING);
        } else if (!WindowText(control).empty()) {
            current_->text = WindowText(control);
        }
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        HWND box = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
        if (current_ == nullptr || box == nullptr) {
            return;
        }
        ++current_->answered;
        current_->caption = WindowText(box);
        EnumChildWindows(box, ReadStatic, 0);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }

    static MessageBoxAnswerer* current_;
    HWND owner_;
    UINT_PTR timer_ = 0;
};
MessageBoxAnswerer* MessageBoxAnswerer::current_ = nullptr;

TEST_F(OptionsDialogOutcome, ASaveThatDidNotHappenSaysWhyAndKeepsTheDialogOpen) {
    const std::string original =
        "screenWidth = 1024\r\nscreenHeight = 768\r\nscreenBPP = 32\r\nbloom = 0\r\nname = Tavaren\r\n";
    WriteBytes(kConfigFileName, original);
    ReadSettings();
    g_displayModes = {Mode(1024, 768), Mode(1280, 1024)};
    ASSERT_TRUE(SetFileAttributesA(kConfigFileName, FILE_ATTRIBUTE_READONLY));
    const auto chooseAndPressOk = [&original](HWND dialog, MessageBoxAnswerer& answerer) {
        HWND combo = GetDlgItem(dialog, IDC_RESOLUTION);
        SendMessageA(combo, CB_SETCURSEL,
                     static_cast<WPARAM>(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                      reinterpret_cast<LPARAM>("1280 x 1024 x 32"))),
                     0);
        Click(dialog, IDOK);
        EXPECT_EQ(answerer.answered, 1) << "OK on a read-only config.cfg showed no message";
        EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog closed after a save that did not happen";
        EXPECT_EQ(ReadBytes(kConfigFileName), original);
    };
    // Cancel after the failed OK: memory holds what config.cfg holds, but for the Bloom click (kept, as
    // after any Cancel).
    const INT_PTR cancelled = Run([&](HWND dialog) {
        MessageBoxAnswerer answerer(dialog);
        Click(dialog, IDC_BLOOM);
        chooseAndPressOk(dialog, answerer);
        EXPECT_EQ(answerer.caption, "Options");
        EXPECT_TRUE(answerer.warningIcon);
        EXPECT_NE(answerer.text.find("config.cfg is read-only"), std::string::npos) << answerer.text;
        ExpectSettings(g_settings, 1024, 768, 32, 1);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(cancelled, IDCANCEL);
    // Once the cause is gone, OK in the same dialog saves and closes, with no message.
    int messages = 0;
    const INT_PTR accepted = Run([&](HWND dialog) {
        MessageBoxAnswerer answerer(dialog);
        chooseAndPressOk(dialog, answerer);
        SetFileAttributesA(kConfigFileName, FILE_ATTRIBUTE_NORMAL);
        Click(dialog, IDOK);
        messages = answerer.answered;
    });
    EXPECT_EQ(accepted, IDOK);
    EXPECT_EQ(messages, 1);
    ExpectSettings(SettingsInFile(), 1280, 1024, 32, 1);
    EXPECT_NE(ReadBytes(kConfigFileName).find("name = Tavaren"), std::string::npos);
}

// Every way but OK ends the dialog without writing, and with the outcome the launcher window tells apart;
// Enter presses the default button, OK.
TEST_F(OptionsDialogOutcome, EachWayOfEndingItGivesItsOutcome) {
    const struct {
        const char* how;
        std::function<void(HWND)> end;
        INT_PTR outcome;
    } rows[] = {
        {"Cancel", [](HWND dialog) { Click(dialog, IDCANCEL); }, IDCANCEL},
        {"Escape", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }, IDCANCEL},
        {"WM_CLOSE", [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }, kOptionsClosed},
        // The close command of the window menu reaches the dialog as WM_CLOSE.
        {"the window menu's Close", [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); },
         kOptionsClosed},
        {"Enter", [](HWND dialog) { PressKey(dialog, VK_RETURN); }, IDOK},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        std::remove(kConfigFileName);
        g_displayModes = {Mode(1280, 1024)};
        g_settings = LauncherSettings{};
        g_settings.bloom = 1;
        g_knownSettings = 0;
        EXPECT_EQ(Run(row.end), row.outcome);
        if (row.outcome == IDOK) {
            ExpectSettings(SettingsInFile(), 1280, 1024, 32, 1);
        } else {
            EXPECT_EQ(ReadBytes(kConfigFileName), "<missing>");
            ExpectSettings(g_settings, 0, 0, 0, 1);
        }
    }
}

TEST_F(OptionsDialogOutcome, OtherCommandsChangeNothingAndKeepTheDialogOpen) {
    g_displayModes = {Mode(1024, 768)};
    SetSettings(1024, 768, 32, 1);
    bool openAfterCommands = false;
    const INT_PTR outcome = Run([&](HWND dialog) {
        for (const WORD id : {WORD{IDC_RESOLUTION}, WORD{IDC_MOTION_BLUR}, WORD{IDC_LENS_FLARE},
                              WORD{IDC_SMOKE}, WORD{1001}, WORD{0xFFFF}}) {
            EXPECT_EQ(OptionsDialogProc(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0), TRUE) << id;
        }
        // Messages it does not handle are left to the dialog manager.
        EXPECT_EQ(OptionsDialogProc(dialog, WM_NULL, 0, 0), FALSE);
        EXPECT_EQ(OptionsDialogProc(dialog, WM_APP, 0, 0), FALSE);
        openAfterCommands = IsWindowVisible(dialog) != FALSE;
        Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(openAfterCommands);
    EXPECT_EQ(outcome, IDCANCEL);
    ExpectSettings(g_settings, 1024, 768, 32, 1);
    EXPECT_EQ(ReadBytes(kConfigFileName), "<missing>");
}

} // namespace
