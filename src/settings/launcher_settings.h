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

// A set of the four settings, one bit each.
using SettingSet = unsigned;
constexpr SettingSet kScreenWidthSetting = 1u << 0;
constexpr SettingSet kScreenHeightSetting = 1u << 1;
constexpr SettingSet kScreenBPPSetting = 1u << 2;
constexpr SettingSet kBloomSetting = 1u << 3;
constexpr SettingSet kResolutionSettings = kScreenWidthSetting | kScreenHeightSetting | kScreenBPPSetting;
constexpr SettingSet kAllSettings = kResolutionSettings | kBloomSetting;

// The settings of g_settings whose value came from config.cfg or from the player's choice. A rewrite
// writes only these: a value that is 0 merely because nothing set it never reaches the game.
extern SettingSet g_knownSettings;
