#pragma once
// Helpers shared by the settings tests: a private temporary directory per test and whole-file access.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "bytes/byte_buffer.h"
#include "durable_file/file_calls.h"
#include "durable_file/replace_file.h"
#include "settings/config_file.h"
#include "settings/config_text.h"
#include "settings/launcher_settings.h"

#ifdef _WIN32
#include <windows.h>
#endif

// Comparison and printing for GoogleTest; beside the type, where lookup finds them.
inline bool operator==(const LauncherSettings& a, const LauncherSettings& b) {
    return a.screenWidth == b.screenWidth && a.screenHeight == b.screenHeight && a.screenBPP == b.screenBPP &&
           a.bloom == b.bloom;
}

inline bool operator!=(const LauncherSettings& a, const LauncherSettings& b) {
    return !(a == b);
}

// Lets GoogleTest print settings in failure messages.
inline void PrintTo(const LauncherSettings& s, std::ostream* out) {
    *out << "{" << s.screenWidth << ", " << s.screenHeight << ", " << s.screenBPP << ", " << s.bloom << "}";
}

namespace settings_test {

namespace fs = std::filesystem;

// A fresh empty directory under the system's temporary directory, removed with all it holds.
class TempDir {
public:
    TempDir() {
        static unsigned counter = 0;
        std::random_device entropy;
        const fs::path base = fs::temp_directory_path();
        for (;;) {
            path_ =
                base / ("tavaren-settings-" + std::to_string(entropy()) + "-" + std::to_string(++counter));
            if (fs::create_directory(path_)) {
                break;
            }
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    ~TempDir() {
        std::error_code error;
        // Read-only files would stop the removal on Windows.
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path_, error)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
        fs::remove_all(path_, error);
    }

    const fs::path& Path() const { return path_; }

    // A file name inside the directory, as the narrow string the settings functions take.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

    // The names of everything in the directory, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

// The whole file, byte for byte; empty when it can't be read.
inline std::string ReadBytes(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t count;
        while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
            bytes.append(buffer, count);
        }
        std::fclose(file);
    }
    return bytes;
}

// Creates or overwrites the file with exactly these bytes; false when that fails.
inline bool WriteBytes(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// The lines joined, each followed by lineEnd.
inline std::string Lines(std::initializer_list<std::string_view> lines,
                         std::string_view lineEnd = kPlatformLineEnd) {
    std::string text;
    for (const std::string_view line : lines) {
        text += line;
        text += lineEnd;
    }
    return text;
}

// The lines ConfigLines gives, in order.
inline std::vector<std::string_view> SplitLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    ConfigLines reader(bytes);
    std::string_view line;
    while (reader.Next(line)) {
        lines.push_back(line);
    }
    return lines;
}

// The rewritten text as a string; all four settings are written unless told otherwise.
inline std::string RewriteText(std::string_view bytes, const LauncherSettings& settings,
                               std::string_view lineEnd = kPlatformLineEnd, SettingSet known = kAllSettings) {
    ByteBuffer out;
    if (!RewriteConfigText(bytes, settings, known, lineEnd, out)) {
        return "<out of memory>";
    }
    return std::string(out.view());
}

// The file functions with the tests' paths and, unless told otherwise, all four settings written.
inline bool ReadSettingsAt(const std::string& path, LauncherSettings& settings, SettingSet* known = nullptr) {
    return ReadSettingsFile(path.c_str(), settings, known);
}

inline bool WriteSettingsAt(const std::string& path, const LauncherSettings& settings,
                            SettingSet known = kAllSettings) {
    return WriteSettingsFile(path.c_str(), settings, known);
}

// Why a rewrite of path did not happen, as the Options dialog is told; FileProblem::None when it did.
inline FileProblem UnsavedBecause(const std::string& path, const LauncherSettings& settings) {
    SaveResult result;
    return WriteSettingsFile(path.c_str(), settings, kAllSettings, &result) ? FileProblem::None
                                                                            : result.problem;
}

// The temporary file's stream calls replaced by doubles (those given) for as long as the object lives.
class StreamDoubles {
public:
    StreamDoubles(decltype(FileCalls::openStream) open, decltype(FileCalls::writeStream) write) {
        g_fileCalls.openStream = open != nullptr ? open : g_fileCalls.openStream;
        g_fileCalls.writeStream = write != nullptr ? write : g_fileCalls.writeStream;
    }
    StreamDoubles(const StreamDoubles&) = delete;
    StreamDoubles& operator=(const StreamDoubles&) = delete;
    ~StreamDoubles() { g_fileCalls = SystemFileCalls(); }
};

inline bool ReplaceAt(const std::string& replacement, const std::string& target) {
    RetryBudget budget;
    const std::string backup = replacement + ".bak";
    return ReplaceFileDurably(replacement.c_str(), target.c_str(), backup.c_str(), budget) ==
           ReplaceOutcome::Replaced;
}

inline LauncherSettings Settings(std::int32_t width, std::int32_t height, std::int32_t bpp,
                                 std::int32_t bloom) {
    LauncherSettings settings;
    settings.screenWidth = width;
    settings.screenHeight = height;
    settings.screenBPP = bpp;
    settings.bloom = bloom;
    return settings;
}

// Takes write permission away from the file at path.
inline void MakeReadOnly(const std::string& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#ifdef _WIN32
// Holds config.cfg open the way another program would, for as long as the object lives.
class HeldFile {
public:
    HeldFile(const std::string& path, DWORD access, DWORD share)
        : handle_(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr)) {}
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile() { Release(); }

    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE handle_;
};
#endif

} // namespace settings_test
