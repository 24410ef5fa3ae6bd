#include "durable_file/durable_file.h"

#include <cerrno>
#include <cstdio>

#include "durable_file/file_calls.h"
#include "durable_file/leftover_names.h"
#include "durable_file/read_file.h"
#include "durable_file/recovery.h"
#include "durable_file/replace_file.h"

namespace {

// Where the leftovers and the lock of path's saves lie: beside its target, or, for a link whose file is
// missing, beside where it leads.
bool LeftoversOf(const char* path, ByteBuffer& target, LeftoverPaths& names, RetryBudget& budget) {
    return (ResolveReplaceTarget(path, target, budget) || ReadLinkDestination(path, target)) &&
           names.Make(target.view());
}

bool AnyLeftover(const LeftoverPaths& names) {
    return FileAt(names.newFile.c_str()) != Presence::Absent ||
           FileAt(names.oldFile.c_str()) != Presence::Absent;
}

// Writes the whole of data to the new file, closes it and flushes it to the disk; false, with the file
// removed, when any of it failed, and problem telling a full disk (the C runtime's ENOSPC, on every
// platform) from other failures.
bool WriteNewFile(std::FILE* file, const char* path, std::string_view data, RetryBudget& budget,
                  FileProblem& problem) {
    errno = 0;
    bool written = g_fileCalls.writeStream(data.data(), 1, data.size(), file) == data.size() &&
                   g_fileCalls.flushStream(file) == 0;
    if (g_fileCalls.closeStream(file) != 0) {
        written = false;
    }
    if (!written || !FlushFile(path, budget)) {
        problem = errno == ENOSPC ? FileProblem::DiskFull : FileProblem::Failed;
        RemoveFile(path, budget); // a part of the new bytes, which exist in memory
        return false;
    }
    return true;
}

// The empty file under the old name that marks, where there is no old file to move aside, that the new
// file is to go in the file's place.
bool MakeWitness(const char* path) {
    FileProblem problem;
    std::FILE* file = OpenNewFile(path, problem);
    return file != nullptr && g_fileCalls.closeStream(file) == 0;
}

// A write of data to the file at target whose leftovers are named in names, under the save's lock, from a
// place where no save is unfinished; problem says why it left the file unchanged.
// Lets go of the file that the save's read kept open without sharing, before anything else opens it.
void LetGo(std::intptr_t& held) {
    if (held != kNoLock) {
        CloseHeldFile(held);
        held = kNoLock;
    }
}

WriteOutcome WriteUnderLock(const char* target, const LeftoverPaths& names, std::string_view data,
                            RetryBudget& budget, FileProblem& problem, std::intptr_t& held) {
    const char* fresh = names.newFile.c_str();
    const char* old = names.oldFile.c_str();
    problem = ReplaceRefusal(target);
    if (problem != FileProblem::None) {
        return WriteOutcome::Unchanged; // a read-only file, a directory or a device is left alone
    }
    std::FILE* file = OpenNewFile(fresh, problem);
    if (file == nullptr) {
        // Access denied means that the folder takes no new files only where the name is not there; and only
        // where no leftover is there may the file be written in place: through the file the read kept open
        // without sharing, where it did, so that nothing comes between the read, the merge and the flush.
        return problem == FileProblem::Denied && !AnyLeftover(names) &&
                       (held != kNoLock
                            ? OverwriteHeldFile(held, data.data(), data.size(), problem)
                            : OverwriteFileInPlace(target, data.data(), data.size(), budget, problem))
                   ? WriteOutcome::Written
                   : WriteOutcome::Unchanged;
    }
    LetGo(held);
    if (!WriteNewFile(file, fresh, data, budget, problem)) {
        return WriteOutcome::Unchanged;
    }
    // A swap that could be cut short by the deadline rather than end by its own steps is not begun: the
    // time went to waiting for other processes.
    if (!budget.Fits(RetryBudget::kSwapMilliseconds)) {
        problem = FileProblem::Held;
        RemoveFile(fresh, budget);
        return WriteOutcome::Unchanged;
    }
    // The new file is whole and on the disk: from here the old name marks a swap that has begun.
    const Presence existing = FileAt(target);
    if (existing == Presence::Present) {
        const ReplaceOutcome outcome = ReplaceFileDurably(fresh, target, old, budget);
        if (outcome == ReplaceOutcome::Replaced) {
            return WriteOutcome::Written;
        }
        if (outcome != ReplaceOutcome::Halfway) {
            problem = outcome == ReplaceOutcome::Held ? FileProblem::Held : FileProblem::Failed;
            RemoveFile(fresh, budget);
            return WriteOutcome::Unchanged;
        }
    }
    // The file is missing (or was moved aside, or shows what another program put there): the last row of
    // the table puts the new one in its place.
    const bool witness = FileAt(old) == Presence::Absent;
    if (existing == Presence::Unknown || (witness && !MakeWitness(old))) {
        problem = FileProblem::Failed;
        RemoveFile(fresh, budget);
        return WriteOutcome::Unchanged;
    }
    if (ResolveLeftovers(target, names, budget) == Resolved::NewInPlace) {
        return WriteOutcome::Written;
    }
    // Undone where it can be: the witness removed, or the old file renamed back (never copied, which would
    // leave the old name marking a swap that had begun); the new bytes exist in memory.
    if (witness ? RemoveFile(old, budget) : RenameFile(old, target)) {
        problem = FileProblem::Held;
        RemoveFile(fresh, budget);
        return WriteOutcome::Unchanged;
    }
    problem = FileProblem::None;
    return WriteOutcome::Stranded;
}

} // namespace

bool SaveLock::Take(const char* lockPath, RetryBudget& budget) {
    Release();
    RetryBudget share = budget.Share();
    for (;;) {
        switch (TryLockFile(lockPath, handle_)) {
        case LockTry::Taken:
        case LockTry::Refused:
            taken_ = true;
            return true;
        case LockTry::Failed:
            return false;
        case LockTry::Busy:
            break;
        }
        if (!share.Wait()) {
            return false;
        }
    }
}

void SaveLock::Release() {
    LetGo(file_);
    if (handle_ != kNoLock) {
        UnlockFile(handle_);
        handle_ = kNoLock;
    }
    taken_ = false;
}

ReadOutcome ReadDurableFile(const char* path, ByteBuffer& bytes, RetryBudget& budget, FileProblem* problem,
                            SaveLock* lock) {
    ByteBuffer target;
    LeftoverPaths names;
    FileProblem unresolved = FileProblem::None;
    if (LeftoversOf(path, target, names, budget)) {
        SaveLock own;
        SaveLock& held = lock != nullptr ? *lock : own;
        if (lock != nullptr || AnyLeftover(names)) {
            // Looked at again once the lock is held: another process's save may have ended meanwhile.
            if (!held.Taken() && !held.Take(names.lock.c_str(), budget)) {
                unresolved = FileProblem::Held;
            } else if (ResolveLeftovers(target.c_str(), names, budget) == Resolved::Failed) {
                unresolved = FileProblem::Unrecovered;
            }
        }
    }
    // A save's read keeps the file open without sharing, for a write in place.
    const ReadOutcome outcome =
        ReadWholeFile(path, bytes, budget, problem,
                      lock != nullptr && unresolved == FileProblem::None ? &lock->file_ : nullptr);
    if (unresolved != FileProblem::None && (lock != nullptr || outcome == ReadOutcome::Missing)) {
        bytes.Clear();
        if (problem != nullptr) {
            *problem = unresolved;
        }
        return ReadOutcome::Failed;
    }
    return outcome;
}

WriteOutcome WriteDurableFile(const char* path, std::string_view data, RetryBudget& budget,
                              FileProblem* problem, SaveLock* lock) {
    FileProblem unasked = FileProblem::None;
    FileProblem& reason = problem != nullptr ? *problem : unasked;
    reason = FileProblem::Failed;
    ByteBuffer target;
    LeftoverPaths names;
    if (!ResolveReplaceTarget(path, target, budget) || !names.Make(target.view())) {
        return WriteOutcome::Unchanged;
    }
    SaveLock own;
    SaveLock& held = lock != nullptr ? *lock : own;
    // A save starts from a place where no other save is unfinished.
    if (!held.Taken() && !held.Take(names.lock.c_str(), budget)) {
        reason = FileProblem::Held;
        return WriteOutcome::Unchanged;
    }
    if (ResolveLeftovers(target.c_str(), names, budget) == Resolved::Failed) {
        reason = FileProblem::Unrecovered;
        return WriteOutcome::Unchanged;
    }
    std::intptr_t unheld = kNoLock;
    const WriteOutcome outcome =
        WriteUnderLock(target.c_str(), names, data, budget, reason, lock != nullptr ? lock->file_ : unheld);
    if (outcome != WriteOutcome::Unchanged) {
        reason = FileProblem::None;
    }
    return outcome;
}
