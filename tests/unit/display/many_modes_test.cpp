// EnumerateDisplayModes against Wine's Direct3D 9 on an X server with the dummy video driver, which offers
// many modes, several sizes at more than one refresh rate (see dummy-xorg.conf); run by with-dummy-xorg.sh.

#include "adapter_report.h"
#include "display/display_modes.h"

#include <gtest/gtest.h>

#include <iostream>

TEST(Direct3D9WithManyModes, ListIsTheReportedModesWithRefreshRatesFolded) {
    const AdapterReport report = ReadAdapterReport();
    ASSERT_TRUE(report.available) << "Direct3D 9 cannot be created on this display";
    std::cout << "Direct3D 9 reports " << Describe(report) << "\n";
    // The display is one that makes the folding of repeated sizes matter.
    ASSERT_TRUE(HasNeighboursDifferingInRefreshOnly(report)) << Describe(report);

    EnumerateDisplayModes();

    std::cout << "listed:";
    for (const DisplayMode& mode : g_displayModes) {
        std::cout << " " << mode.width << "x" << mode.height;
    }
    std::cout << "\n";
    EXPECT_GT(g_displayModes.size(), 1u);
    EXPECT_TRUE(ListMatchesReport(g_displayModes, report));
}
