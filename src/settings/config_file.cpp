#include "settings/config_file.h"

#include <cerrno>
#include <string_view>

#include "bytes/byte_buffer.h"
#include "durable_file/recovery.h"
#include "settings/config_text.h"
#include "durable_file/leftover_names.h"
#include "durable_file/read_file.h"
#include "durable_file/replace_file.h"

LauncherSettings g_settings;
SettingSet g_knownSettings = 0;

namespace {

// The names of one rewrite's temporary file and backup beside the file it will replace.
bool SiblingPathsFor(const char* target, ByteBuffer& temporary, ByteBuffer& backup) {
    static unsigned long counter = 0; // the launcher has one thread
    temporary.Clear();
    backup.Clear();
    ++counter;
    return AppendLeftoverStem(temporary, target, CurrentProcessId(), counter) &&
           AppendLeftoverStem(backup, target, CurrentProcessId(), counter) &&
           temporary.Append(kTemporarySuffix) && backup.Append(kBackupSuffix);
}

// Whether a failed creation of the temporary file means that the directory takes no new files.
bool DirectoryRefusesNewFiles(int error) {
    return error == EACCES || error == EPERM;
}

// How a rewrite through a temporary file ended.
enum class SwapResult {
    Saved,
    Failed,   // target is as it was (another process holds it, say)
    Refused,  // target is as it was, and the directory refused the temporary file or the system the swap
    Stranded, // the old bytes and the new ones wait under the leftover names (ReplaceOutcome::Stranded)
};

// Writes text to a new temporary file beside target and puts it in target's place.
SwapResult ReplaceThroughTemporaryFile(const char* target, std::string_view text, const RewriteSteps& steps,
                                       RetryBudget& budget) {
    ByteBuffer temporary;
    ByteBuffer backup;
    if (!SiblingPathsFor(target, temporary, backup)) {
        return SwapResult::Failed;
    }
    errno = 0;
    std::FILE* file = steps.openTemporary(temporary.c_str());
    if (file == nullptr) {
        return DirectoryRefusesNewFiles(errno) ? SwapResult::Refused : SwapResult::Failed;
    }
    bool written = steps.write(file, text.data(), text.size());
    if (written) {
        written = std::fflush(file) == 0;
    }
    if (std::fclose(file) != 0) {
        written = false;
    }
    if (!written) {
        RemoveFile(temporary.c_str());
        return SwapResult::Failed;
    }
    switch (ReplaceFileDurably(temporary.c_str(), target, backup.c_str(), budget)) {
    case ReplaceOutcome::Replaced:
        return SwapResult::Saved;
    case ReplaceOutcome::Unchanged:
        RemoveFile(temporary.c_str());
        return SwapResult::Refused;
    case ReplaceOutcome::Held:
        RemoveFile(temporary.c_str());
        return SwapResult::Failed;
    case ReplaceOutcome::Stranded:
        break; // the new bytes exist nowhere else, and the old ones only in the backup: both stay
    }
    return SwapResult::Stranded;
}

} // namespace

bool WriteAllBytes(std::FILE* file, const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, file) == size;
}

bool ReadSettingsFile(const char* path, LauncherSettings& settings, SettingSet* known) {
    RecoverUnfinishedRewrite(path);
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
    RecoverUnfinishedRewrite(path);
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
    if (!ResolveReplaceTarget(path, target, budget)) {
        return false;
    }
    switch (ReplaceThroughTemporaryFile(target.c_str(), text.view(), steps, budget)) {
    case SwapResult::Saved:
        return true;
    case SwapResult::Refused:
        break;
    case SwapResult::Failed:
    case SwapResult::Stranded:
        return false;
    }
    // The last way, with a budget of its own: the old file overwritten where it lies.
    RetryBudget inPlaceBudget;
    return existed && OverwriteFileInPlace(target.c_str(), text.data(), text.size(), inPlaceBudget);
}

void ReadSettings() {
    ReadSettingsFile(kConfigFileName, g_settings, &g_knownSettings);
}

void WriteSettings() {
    WriteSettingsFile(kConfigFileName, g_settings, g_knownSettings);
}
