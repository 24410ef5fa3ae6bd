#pragma once
// The four display settings that the launcher shares with the game through config.cfg.

#include <cstdint>

struct LauncherSettings {
    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    std::int32_t screenBPP = 0;
    std::int32_t bloom = 0; // Bloom on when not 0
};

// Process-wide settings: all 0 at start, filled by ReadSettings, changed by the Options dialog.
extern LauncherSettings g_settings;
