#pragma once
// Reading and rewriting config.cfg in the working directory.

#include "durable_file/durable_file.h"
#include "settings/launcher_settings.h"

// Loads the values of the key lines of config.cfg into g_settings and adds their keys to
// g_knownSettings. A missing or unreadable file, or too little memory to read it, changes nothing.
void ReadSettings();

// How a rewrite of the settings file ended: Written (also when there was nothing to store); Unchanged, the
// file exactly as it was, for the reason in problem; or Stranded, the new bytes waiting beside the file for
// the next read to put them in place (durable_file.h).
struct SaveResult {
    WriteOutcome outcome = WriteOutcome::Written;
    FileProblem problem = FileProblem::None;
};

// Rewrites config.cfg from the settings of g_knownSettings, keeping every other line. Any failure
// leaves config.cfg as it was, but for a stranded save; the result says which, and why.
SaveResult WriteSettings();

// The settings file, in the working directory.
inline constexpr char kConfigFileName[] = "config.cfg";

// The paths below are the platform's own narrow paths: UTF-8 on Windows, never the ANSI code page.

// Loads the values of the key lines of the file at path into settings and, when known is given, adds
// the keys that got a value to *known. Returns false, with settings and *known unchanged, when the file
// cannot be opened or read to its end.
bool ReadSettingsFile(const char* path, LauncherSettings& settings, SettingSet* known = nullptr);

// Rewrites the file at path from the settings in known (see RewriteConfigText), creating it when it is
// missing and there is something to write, through the durable file (durable_file.h). Returns false when
// anything fails: the file at path is then exactly as it was, but where the durable file reports the old
// and the new bytes stranded beside it. A file that exists but cannot be read, even after waiting a moment
// for another process to let go of it, or that a save cut off left waiting to be put back, is left alone
// rather than rewritten from nothing. When result is given, *result says how it ended and why.
bool WriteSettingsFile(const char* path, const LauncherSettings& settings, SettingSet known,
                       SaveResult* result = nullptr);
