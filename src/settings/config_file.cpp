#include "config_file.h"

#include <cerrno>
#include <string_view>

#include "byte_buffer.h"
#include "config_text.h"
#include "read_file.h"
#include "replace_file.h"

LauncherSettings g_settings;
SettingSet g_knownSettings = 0;

namespace {

// "<target>.<process id>.<counter>.tmp", beside the file it will replace.
bool TemporaryPathFor(const char* target, ByteBuffer& temporary) {
    static unsigned long counter = 0; // the launcher has one thread
    char number[kDecimalCapacity];
    temporary.Clear();
    temporary.Append(target);
    temporary.Append(".");
    temporary.Append(std::string_view(number, FormatDecimal(CurrentProcessId(), number)));
    temporary.Append(".");
    temporary.Append(std::string_view(number, FormatDecimal(++counter, number)));
    return temporary.Append(".tmp");
}

// Whether a failed creation of the temporary file means that the directory takes no new files.
bool DirectoryRefusesNewFiles(int error) {
    return error == EACCES || error == EPERM;
}

// Writes text to a new temporary file beside target and puts it in target's place. An errno that tells
// why the temporary file could not be created is left in creationError.
bool ReplaceThroughTemporaryFile(const char* target, std::string_view text, const RewriteSteps& steps,
                                 RetryBudget& budget, int& creationError) {
    ByteBuffer temporary;
    if (!TemporaryPathFor(target, temporary)) {
        return false;
    }
    errno = 0;
    std::FILE* file = steps.openTemporary(temporary.c_str());
    if (file == nullptr) {
        creationError = errno;
        return false;
    }
    bool written = steps.write(file, text.data(), text.size());
    if (written) {
        written = std::fflush(file) == 0;
    }
    if (std::fclose(file) != 0) {
        written = false;
    }
    if (!written || !ReplaceFileDurably(temporary.c_str(), target, budget)) {
        RemoveFile(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

bool WriteAllBytes(std::FILE* file, const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, file) == size;
}

bool ReadSettingsFile(const char* path, LauncherSettings& settings, SettingSet* known) {
    RetryBudget budget;
    ByteBuffer bytes;
    if (ReadWholeFile(path, bytes, budget) != ReadOutcome::Read) {
        return false;
    }
    const SettingSet found = ApplyConfigText(bytes.view(), settings);
    if (known != nullptr) {
        *known |= found;
    }
    return true;
}

bool WriteSettingsFile(const char* path, const LauncherSettings& settings, SettingSet known,
                       const RewriteSteps& steps) {
    RetryBudget budget;
    ByteBuffer text;
    bool existed;
    {
        ByteBuffer old;
        const ReadOutcome outcome = ReadWholeFile(path, old, budget);
        if (outcome == ReadOutcome::Failed) {
            return false;
        }
        existed = outcome == ReadOutcome::Read;
        if (!RewriteConfigText(old.view(), settings, known, kPlatformLineEnd, text)) {
            return false;
        }
    }
    if (!existed && text.size() == 0) {
        return true; // nothing to store, and no empty file to make for it
    }
    ByteBuffer target;
    if (!ResolveReplaceTarget(path, target)) {
        return false;
    }
    int creationError = 0;
    if (ReplaceThroughTemporaryFile(target.c_str(), text.view(), steps, budget, creationError)) {
        return true;
    }
    return existed && DirectoryRefusesNewFiles(creationError) &&
           OverwriteFileInPlace(target.c_str(), text.data(), text.size(), budget);
}

void ReadSettings() {
    ReadSettingsFile(kConfigFileName, g_settings, &g_knownSettings);
}

void WriteSettings() {
    WriteSettingsFile(kConfigFileName, g_settings, g_knownSettings);
}
