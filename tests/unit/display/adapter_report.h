#pragma once
// What Direct3D 9 on this machine reports for the default adapter, read by the tests through their own
// calls, and the check of a display mode list against it.

#include <d3d9.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/display_modes.h"

struct AdapterReport {
    bool available = false; // d3d9.dll loaded and an object created
    bool a8r8g8b8Accepted = false;
    bool x8r8g8b8Accepted = false;
    D3DFORMAT format = D3DFMT_UNKNOWN; // the format whose modes the launcher should list
    std::vector<D3DDISPLAYMODE> modes; // every mode the adapter reports in that format, in its order
};

AdapterReport ReadAdapterReport();

// "X8R8G8B8 (A8R8G8B8 refused), 3 modes: 1280x1024@0, ..."
std::string Describe(const AdapterReport& report);

// Whether two modes that follow each other in the report, both at least 1024x768, differ in refresh rate
// alone.
bool HasNeighboursDifferingInRefreshOnly(const AdapterReport& report);

// The list holds 32-bit records of at least 1024x768, no record equal to the one before it, every size
// the adapter reports from 1024x768 up, in the adapter's order, one record for each run of equal sizes.
::testing::AssertionResult ListMatchesReport(const DisplayModeList& list, const AdapterReport& report);
