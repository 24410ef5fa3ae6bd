// EnumerateDisplayModes against Wine's Direct3D 9 on the display the tests run on (an Xvfb screen:
// one mode, the screen size, and A8R8G8B8 refused, so the X8R8G8B8 path is the one taken).

#include "adapter_report.h"
#include "display_modes.h"

#include <gtest/gtest.h>

#include <iostream>

namespace {

class Direct3D9OnThisDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        g_displayModes.clear();
        report = ReadAdapterReport();
        ASSERT_TRUE(report.available) << "Direct3D 9 cannot be created on this display";
        std::cout << "Direct3D 9 reports " << Describe(report) << "\n";
    }
    void TearDown() override { g_displayModes.clear(); }
    AdapterReport report;
};

} // namespace

TEST_F(Direct3D9OnThisDisplay, ListIsTheReportedModesFiltered) {
    EnumerateDisplayModes();

    EXPECT_TRUE(ListMatchesReport(g_displayModes, report));
}

TEST_F(Direct3D9OnThisDisplay, ASecondEnumerationEqualsOne) {
    EnumerateDisplayModes();
    const DisplayModeList once = g_displayModes;

    EnumerateDisplayModes();

    ASSERT_EQ(g_displayModes.size(), once.size());
    for (std::size_t i = 0; i < once.size(); ++i) {
        EXPECT_EQ(g_displayModes[i].width, once[i].width) << i;
        EXPECT_EQ(g_displayModes[i].height, once[i].height) << i;
        EXPECT_EQ(g_displayModes[i].bpp, once[i].bpp) << i;
    }
}

TEST_F(Direct3D9OnThisDisplay, TheLibraryIsUnloadedAgain) {
    // This program does not import d3d9.dll, and the report above freed its own load.
    ASSERT_EQ(GetModuleHandleA("d3d9.dll"), nullptr);

    EnumerateDisplayModes();

    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr);
}
