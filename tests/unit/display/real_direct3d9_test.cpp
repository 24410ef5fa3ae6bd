// EnumerateDisplayModes against Wine's Direct3D 9 on the display the tests run on (an Xvfb screen:
// one mode, the screen size, and A8R8G8B8 refused, so the X8R8G8B8 path is the one taken).

#include "adapter_report.h"
#include "display/display_modes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    const std::vector<DisplayMode> once(g_displayModes.begin(), g_displayModes.end());

    EnumerateDisplayModes();

    ASSERT_EQ(g_displayModes.size(), once.size());
    for (std::size_t i = 0; i < once.size(); ++i) {
        EXPECT_EQ(g_displayModes[i].width, once[i].width) << i;
        EXPECT_EQ(g_displayModes[i].height, once[i].height) << i;
        EXPECT_EQ(g_displayModes[i].bpp, once[i].bpp) << i;
    }
}

TEST_F(Direct3D9OnThisDisplay, TheLibraryStaysLoadedFromTheSystemDirectory) {
    EnumerateDisplayModes();

    // Loaded once and kept, as an import would be: tools that hook it must not see it go.
    const HMODULE loaded = GetModuleHandleA("d3d9.dll");
    ASSERT_NE(loaded, nullptr);
    char path[MAX_PATH] = {};
    char system[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(loaded, path, MAX_PATH), 0u);
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, -1,
                             (std::string(system) + "\\d3d9.dll").c_str(), -1),
              CSTR_EQUAL)
        << path;

    EnumerateDisplayModes();
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), loaded);
}
