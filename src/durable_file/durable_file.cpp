#include "durable_file/durable_file.h"

#include <cerrno>
#include <cstdio>

#include "durable_file/file_calls.h"
#include "durable_file/leftover_files.h"
#include "durable_file/leftover_names.h"
#include "durable_file/read_file.h"
#include "durable_file/recovery.h"
#include "durable_file/replace_file.h"

namespace {

// The names of one write's temporary file and backup beside the file it will replace, which no other write
// of any process, running or ended, has used; false when they cannot be told.
bool LeftoverPathsFor(const char* target, ByteBuffer& temporary, ByteBuffer& backup) {
    static unsigned long counter = 0; // written from one thread only
    ++counter;
    WriterId writer{};
    return CurrentWriter(writer) && AppendLeftoverStem(temporary, target, writer, counter) &&
           AppendLeftoverStem(backup, target, writer, counter) && temporary.Append(kTemporarySuffix) &&
           backup.Append(kBackupSuffix);
}

// How a write through a temporary file ended.
enum class SwapResult {
    Saved,
    Failed,   // target is as it was (another process holds it, say)
    Refused,  // target is as it was, and the directory refused the temporary file or the system the swap
    Stranded, // the old bytes and the new ones wait under the leftover names (ReplaceOutcome::Stranded)
};

// Writes the whole of data to a new file at path, closed; false, with the file removed, when any of it
// failed, and problem telling a full disk (the C runtime's ENOSPC, on every platform) from other failures.
bool WriteTemporaryFile(std::FILE* file, const char* path, std::string_view data, RetryBudget& budget,
                        FileProblem& problem) {
    errno = 0;
    bool written = g_fileCalls.writeStream(data.data(), 1, data.size(), file) == data.size() &&
                   g_fileCalls.flushStream(file) == 0;
    if (g_fileCalls.closeStream(file) != 0) {
        written = false;
    }
    if (!written) {
        problem = errno == ENOSPC ? FileProblem::DiskFull : FileProblem::Failed;
        RemoveFile(path, budget); // a part of the new bytes, which exist in memory
    }
    return written;
}

// Writes data to a new temporary file beside target and puts it in target's place. Where it fails, problem
// says why.
SwapResult ReplaceThroughTemporaryFile(const char* target, std::string_view data, RetryBudget& budget,
                                       FileProblem& problem) {
    ByteBuffer temporary;
    ByteBuffer backup;
    problem = FileProblem::Failed;
    if (!LeftoverPathsFor(target, temporary, backup)) {
        return SwapResult::Failed;
    }
    std::FILE* file = OpenTemporaryFile(temporary.c_str(), problem);
    if (file == nullptr) {
        // Only a folder that refused us access takes the last way.
        return problem == FileProblem::Denied ? SwapResult::Refused : SwapResult::Failed;
    }
    if (!WriteTemporaryFile(file, temporary.c_str(), data, budget, problem)) {
        return SwapResult::Failed;
    }
    // What the swap did not put in place is removed, but for a stranded swap (the rule in durable_file.h).
    const ReplaceOutcome outcome = ReplaceFileDurably(temporary.c_str(), target, backup.c_str(), budget);
    switch (outcome) {
    case ReplaceOutcome::Replaced:
        return SwapResult::Saved;
    case ReplaceOutcome::Unchanged:
        RemoveFile(temporary.c_str(), budget);
        return SwapResult::Refused;
    case ReplaceOutcome::Held:
    case ReplaceOutcome::Unflushed:
        problem = outcome == ReplaceOutcome::Held ? FileProblem::Held : FileProblem::Failed;
        RemoveFile(temporary.c_str(), budget);
        return SwapResult::Failed;
    case ReplaceOutcome::Stranded:
        break;
    }
    return SwapResult::Stranded;
}

} // namespace

ReadOutcome ReadDurableFile(const char* path, ByteBuffer& bytes, RetryBudget& budget, FileProblem* problem) {
    if (!RecoverInterruptedReplacement(path, budget)) {
        bytes.Clear();
        if (problem != nullptr) {
            *problem = FileProblem::Unrecovered;
        }
        return ReadOutcome::Failed;
    }
    return ReadWholeFile(path, bytes, budget, problem);
}

WriteOutcome WriteDurableFile(const char* path, std::string_view data, RetryBudget& budget,
                              FileProblem* problem) {
    FileProblem unasked = FileProblem::None;
    FileProblem& reason = problem != nullptr ? *problem : unasked;
    reason = FileProblem::None;
    ByteBuffer target;
    if (!ResolveReplaceTarget(path, target, budget)) {
        reason = FileProblem::Failed;
        return WriteOutcome::Unchanged;
    }
    switch (ReplaceThroughTemporaryFile(target.c_str(), data, budget, reason)) {
    case SwapResult::Saved:
        reason = FileProblem::None;
        return WriteOutcome::Written;
    case SwapResult::Refused:
        break;
    case SwapResult::Failed:
        return WriteOutcome::Unchanged;
    case SwapResult::Stranded:
        reason = FileProblem::None;
        return WriteOutcome::Stranded;
    }
    // The last way: the old file, where there is one, overwritten where it lies.
    return OverwriteFileInPlace(target.c_str(), data.data(), data.size(), budget, reason)
               ? WriteOutcome::Written
               : WriteOutcome::Unchanged;
}
