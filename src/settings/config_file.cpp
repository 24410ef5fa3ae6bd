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

bool WriteSettingsFile(const char* path, const LauncherSettings& settings, SettingSet known) {
    // The read and the write share one deadline for waiting on other processes, and one save's lock: no
    // other launcher's save comes between them.
    RetryBudget budget;
    SaveLock lock;
    ByteBuffer text;
    bool existed;
    {
        ByteBuffer old;
        const ReadOutcome outcome = ReadDurableFile(path, old, budget, &lock);
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
    return WriteDurableFile(path, text.view(), budget, &lock) == WriteOutcome::Written;
}

void ReadSettings() {
    ReadSettingsFile(kConfigFileName, g_settings, &g_knownSettings);
}

void WriteSettings() {
    WriteSettingsFile(kConfigFileName, g_settings, g_knownSettings);
}
