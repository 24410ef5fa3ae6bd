#pragma once
// Reading and rewriting config.cfg in the working directory.

#include <cstddef>
#include <cstdio>

#include "settings/launcher_settings.h"
#include "durable_file/replace_file.h"

// Loads the values of the key lines of config.cfg into g_settings and adds their keys to
// g_knownSettings. A missing or unreadable file, or too little memory to read it, changes nothing.
void ReadSettings();

// Rewrites config.cfg from the settings of g_knownSettings, keeping every other line. Any failure
// leaves config.cfg as it was.
void WriteSettings();

// The settings file, in the working directory.
inline constexpr char kConfigFileName[] = "config.cfg";

// The paths below are the platform's own narrow paths: UTF-8 on Windows, never the ANSI code page.

// Loads the values of the key lines of the file at path into settings and, when known is given, adds
// the keys that got a value to *known. Returns false, with settings and *known unchanged, when the file
// cannot be opened or read to its end.
bool ReadSettingsFile(const char* path, LauncherSettings& settings, SettingSet* known = nullptr);

// Writes size bytes from data to file; returns false unless all of them were written.
using ConfigWriter = bool (*)(std::FILE* file, const char* data, std::size_t size);

// The writer a rewrite uses unless told otherwise: one fwrite, checked.
bool WriteAllBytes(std::FILE* file, const char* data, std::size_t size);

// Creates the temporary file at path for writing, as bytes; null, with errno set, when it cannot. A rewrite
// uses OpenTemporaryFile (replace_file.h) unless told otherwise.
using TemporaryFileOpener = std::FILE* (*)(const char* path);

// The steps of a rewrite that a test may replace to make them fail.
struct RewriteSteps {
    ConfigWriter write = WriteAllBytes;
    TemporaryFileOpener openTemporary = OpenTemporaryFile;
};

// Rewrites the file at path from the settings in known (see RewriteConfigText), creating it when it is
// missing and there is something to write. The new text goes to a temporary file beside the file (beside
// the file a symbolic link leads to), which then takes the old file's place in one step. Where the
// directory refuses the temporary file, an existing writable file is overwritten in place instead.
// Returns false when anything fails: the file at path is then exactly as it was and the temporary file
// is gone, with one exception: when the system moved the old file aside and then refused, for seconds,
// every way of putting either file back, both stay ("<file>.<pid>.<n>.bak" the old bytes,
// "<file>.<pid>.<n>.tmp" the new ones) and the file is missing. A file that exists but cannot be read, even
// after waiting a moment for another process to let go of it, is left alone rather than rewritten from
// nothing.
bool WriteSettingsFile(const char* path, const LauncherSettings& settings, SettingSet known,
                       const RewriteSteps& steps = RewriteSteps());
