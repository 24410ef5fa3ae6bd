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
    EXPECT_TRUE(ListMatchesReport(g_displayModes, report));

    // Sizes dummy-xorg.conf names: those from 1024x768 up are listed once each, the smaller ones not.
    const struct {
        UINT width, height;
        int listed;
    } sizes[] = {{1920, 1080, 1}, {1600, 900, 1}, {1368, 768, 1}, {1280, 1024, 1}, {1024, 768, 1},
                 {1280, 720, 0},  {1024, 600, 0}, {960, 768, 0},  {800, 600, 0}};
    for (const auto& size : sizes) {
        int count = 0;
        for (const DisplayMode& mode : g_displayModes) {
            count += mode.width == size.width && mode.height == size.height && mode.bpp == 32 ? 1 : 0;
        }
        EXPECT_EQ(count, size.listed) << size.width << "x" << size.height;
    }
}
