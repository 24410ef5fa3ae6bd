#pragma once
// Reading and rewriting config.cfg in the working directory.

#include <cstddef>
#include <cstdio>
#include <string>

#include "launcher_settings.h"

// Loads the values of the four keys from config.cfg into g_settings; a missing file changes nothing.
void ReadSettings();

// Rewrites config.cfg from g_settings, keeping every other line.
void WriteSettings();

// The settings file, in the working directory.
inline constexpr char kConfigFileName[] = "config.cfg";

// Loads the values of the key lines of the file at path into settings. Returns false, with settings
// unchanged, when the file cannot be opened or read to its end.
bool ReadSettingsFile(const std::string& path, LauncherSettings& settings);

// Writes size bytes from data to file; returns false unless all of them were written.
using ConfigWriter = bool (*)(std::FILE* file, const char* data, std::size_t size);

// The writer a rewrite uses unless told otherwise: one fwrite, checked.
bool WriteAllBytes(std::FILE* file, const char* data, std::size_t size);

// Rewrites the file at path from settings (see RewriteConfigText), creating it when it is missing. The
// new text goes to a temporary file beside it, which then takes the old file's place in one step.
// Returns false when anything fails: the file at path is then exactly as it was and the temporary file
// is gone. A file that exists but cannot be read is left alone rather than rewritten from nothing.
bool WriteSettingsFile(const std::string& path, const LauncherSettings& settings,
                       ConfigWriter writer = WriteAllBytes);
