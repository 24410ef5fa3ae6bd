#include "config_file.h"

#include <atomic>
#include <cerrno>

#include "config_text.h"
#include "replace_file.h"

LauncherSettings g_settings;
SettingSet g_knownSettings = 0;

namespace {

enum class ReadOutcome { Read, Missing, Failed };

ReadOutcome ReadWholeFile(const std::string& path, std::string& bytes) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
    }
    bytes.clear();
    char buffer[64 * 1024];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
        bytes.append(buffer, count);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? ReadOutcome::Failed : ReadOutcome::Read;
}

// "config.cfg.<process id>.<counter>.tmp", beside the file it will replace.
std::string TempPathFor(const std::string& path) {
    static std::atomic<unsigned long> counter{0};
    return path + "." + std::to_string(CurrentProcessId()) + "." + std::to_string(++counter) + ".tmp";
}

} // namespace

bool WriteAllBytes(std::FILE* file, const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, file) == size;
}

bool ReadSettingsFile(const std::string& path, LauncherSettings& settings) {
    std::string bytes;
    if (ReadWholeFile(path, bytes) != ReadOutcome::Read) {
        return false;
    }
    ApplyConfigText(bytes, settings);
    return true;
}

bool WriteSettingsFile(const std::string& path, const LauncherSettings& settings, ConfigWriter writer) {
    std::string old;
    if (ReadWholeFile(path, old) == ReadOutcome::Failed) {
        return false;
    }
    const std::string text = RewriteConfigText(old, settings);

    const std::string temp = TempPathFor(path);
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = writer(file, text.data(), text.size());
    if (written) {
        written = std::fflush(file) == 0;
    }
    if (std::fclose(file) != 0) {
        written = false;
    }
    if (!written || !ReplaceFileDurably(temp, path)) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

void ReadSettings() {
    ReadSettingsFile(kConfigFileName, g_settings);
}

void WriteSettings() {
    WriteSettingsFile(kConfigFileName, g_settings);
}
