#include "settings/config_file.h"

#include "bytes/byte_buffer.h"
#include "durable_file/durable_file.h"
#include "settings/config_text.h"

LauncherSettings g_settings;
SettingSet g_knownSettings = 0;

bool ReadSettingsFile(const char* path, LauncherSettings& settings, SettingSet* known) {
    RetryBudget budget;
    ByteBuffer bytes;
    if (ReadDurableFile(path, bytes, budget) != ReadOutcome::Read) {
        return false;
    }
    const SettingSet found = ApplyConfigText(bytes.view(), settings);
    if (known != nullptr) {
        *known |= found;
    }
    return true;
}

namespace {

SaveResult RewriteFile(const char* path, const LauncherSettings& settings, SettingSet known) {
    // The read and the write share one deadline for waiting on other processes.
    RetryBudget budget;
    SaveResult result;
    ByteBuffer text;
    bool existed;
    {
        ByteBuffer old;
        const ReadOutcome outcome = ReadDurableFile(path, old, budget, &result.problem);
        if (outcome == ReadOutcome::Failed) {
            result.outcome = WriteOutcome::Unchanged;
            return result;
        }
        existed = outcome == ReadOutcome::Read;
        if (!RewriteConfigText(old.view(), settings, known, kPlatformLineEnd, text)) {
            return {WriteOutcome::Unchanged, FileProblem::Failed}; // memory ran out
        }
    }
    if (!existed && text.size() == 0) {
        return result; // nothing to store, and no empty file to make for it
    }
    result.outcome = WriteDurableFile(path, text.view(), budget, &result.problem);
    return result;
}

} // namespace

bool WriteSettingsFile(const char* path, const LauncherSettings& settings, SettingSet known,
                       SaveResult* result) {
    const SaveResult ended = RewriteFile(path, settings, known);
    if (result != nullptr) {
        *result = ended;
    }
    return ended.outcome == WriteOutcome::Written;
}

void ReadSettings() {
    ReadSettingsFile(kConfigFileName, g_settings, &g_knownSettings);
}

SaveResult WriteSettings() {
    SaveResult result;
    WriteSettingsFile(kConfigFileName, g_settings, g_knownSettings, &result);
    return result;
}
