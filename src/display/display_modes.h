#pragma once
// The primary adapter's 32-bit full-screen modes of at least 1024 by 768.

#include <cstdint>
#include <vector>

struct DisplayMode {
    std::uint32_t height;
    std::uint32_t width;
    std::uint32_t bpp; // always 32
};

using DisplayModeList = std::vector<DisplayMode>;

// Process-wide list, in the order Direct3D 9 reports the modes; filled once at start.
extern DisplayModeList g_displayModes;

// Empties g_displayModes and fills it anew from Direct3D 9; leaves it empty when Direct3D 9 is unavailable.
void EnumerateDisplayModes();
