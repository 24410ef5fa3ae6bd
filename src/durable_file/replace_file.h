#pragma once
// What writing a file durably needs from the operating system besides reading: one implementation per
// platform (win/, posix/). Each removal and replacement keeps the rule in durable_file.h. Each call given a
// budget waits for other processes within a share of it for each of its steps (retry_budget.h).

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bytes/byte_buffer.h"
#include "durable_file/durable_file.h"
#include "durable_file/retry_budget.h"

// The file that a write of path must replace: path itself, or, when path is a symbolic link, the file it
// leads to (whose directory then takes the new file). A missing path is its own target. Returns false,
// writing nothing, when path is a link that leads nowhere or the target cannot be worked out; while
// another process holds the file, it is tried again after a pause from budget.
bool ResolveReplaceTarget(const char* path, ByteBuffer& target, RetryBudget& budget);

// Where the symbolic link at path leads, whether or not a file is there now: for putting back a file that a
// replacement moved aside. False when path is no link or its content cannot be read.
bool ReadLinkDestination(const char* path, ByteBuffer& destination);

// Whether a name is there. Unknown where the system would not say: a file being deleted, or a name that
// another user owns, answers "access denied" while the name is still there.
enum class Presence { Absent, Present, Unknown };
Presence FileAt(const char* path);

// What a replacement has left.
enum class ReplaceOutcome {
    // target holds the replacement's bytes; the replacement and the backup are gone (or the backup is
    // left for the recovery to remove).
    Replaced,
    // target is as it was; the replacement is still there for the caller to remove.
    Unchanged,
    // As Unchanged, because another process held target past the budget: any other way of writing it would
    // meet the same holder.
    Held,
    // target is not in its place: missing, or moved aside to backup, with whatever shows under its name
    // now not the old file; the replacement is still under its own name.
    Halfway,
};

// Puts replacement (a complete file in the same directory, already on the disk) in the existing target's
// place in one step. target keeps what the file system holds about it beside its content where the
// platform can keep it (permissions; on Windows its security descriptor, attributes and alternate streams).
// A target that is read-only, a directory or anything but a plain file is left alone. Where the platform
// moves the old file aside while it swaps (Windows), it moves it to backup, a free name in the same
// directory; where the system refuses the swap, target is renamed to backup and replacement to target, two
// renames without replacing, which stay one step each on every file system. While another process holds a
// file, the step is tried again after a pause from budget.
ReplaceOutcome ReplaceFileDurably(const char* replacement, const char* target, const char* backup,
                                  RetryBudget& budget);

// Puts the file at from in the empty place of to: moved, or else copied and flushed, since a copy still
// works where another process's handle forbids the move (the copy leaves from where it was). Never over an
// existing to. False when neither worked. This is the one way a file goes into an empty place.
bool PutInEmptyPlace(const char* from, const char* to, RetryBudget& budget);

// Why target, where it exists, is never replaced: ReadOnly for a read-only file, Failed for a directory or
// anything but a plain file; None otherwise.
FileProblem ReplaceRefusal(const char* target);

// Renames from to to in one step, never over an existing to; false when the system refused it.
bool RenameFile(const char* from, const char* to);

// Flushes the file at path to the disk; false when it is not there or the flush failed.
bool FlushFile(const char* path, RetryBudget& budget);

// Gives target the hidden and system attributes that from has (nothing where the platform has none).
void KeepAttributes(const char* from, const char* target);

// The last resort where no new file can be made beside target: writes data over the existing, writable
// target in one write of the whole content, cuts the file to that length and flushes it to disk. A
// target that is missing, read-only or anything but a plain file is left alone, as is one that another
// process holds beyond the budget. Returns false when the content was not written, with problem saying
// why (Denied for a missing target: there is nothing to write over).
bool OverwriteFileInPlace(const char* target, const char* data, std::size_t size, RetryBudget& budget,
                          FileProblem& problem);

// The write in place through the file that a save's read kept open without sharing (ReadWholeFile's held):
// as OverwriteFileInPlace, with no other process able to come between the read and the flush.
bool OverwriteHeldFile(std::intptr_t held, const char* data, std::size_t size, FileProblem& problem);
// Closes a file kept open by ReadWholeFile.
void CloseHeldFile(std::intptr_t held);

// Creates the file at path anew (never over an existing file) for writing as bytes, through g_fileCalls;
// null when it cannot, with problem saying why: Denied where the system refused access (the folder takes no
// new files, or the name is busy: the caller tells the two apart by the name's presence), as opposed to a
// full disk, a failing device, a name already taken or any other error.
std::FILE* OpenNewFile(const char* path, FileProblem& problem);

// Removes the file at path, waiting a moment for another process that holds it; false when it is still
// there. Needs no memory from the heap, so that it can clean up after memory has run out.
bool RemoveFile(const char* path, RetryBudget& budget);

// The lock of one save at a time: a file that is never removed, locked for as long as a save runs. The
// system releases the lock of a process that ends, however it ends.
enum class LockTry { Taken, Busy, Refused, Failed };
inline constexpr std::intptr_t kNoLock = -1;
// One try at taking the lock at path; handle is kNoLock unless it is Taken. Busy while another process holds
// it (or the lock file is being deleted); Refused where the folder takes no new files, so that no save can
// leave anything beside the file either; Failed where the lock file cannot be made or opened otherwise.
LockTry TryLockFile(const char* path, std::intptr_t& handle);
void UnlockFile(std::intptr_t handle);
