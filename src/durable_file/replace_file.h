#pragma once
// What writing a file durably needs from the operating system besides reading: one implementation per
// platform (win/, posix/). Each removal and replacement keeps the rule in durable_file.h. Each call given a
// budget waits for other processes within a share of it for each of its steps (retry_budget.h).

#include <cstddef>
#include <cstdio>

#include "bytes/byte_buffer.h"
#include "durable_file/durable_file.h"
#include "durable_file/retry_budget.h"

// The file that a write of path must replace: path itself, or, when path is a symbolic link, the file it
// leads to (whose directory then takes the temporary file). A missing path is its own target. Returns
// false, writing nothing, when path is a link that leads nowhere or the target cannot be worked out; while
// another process holds the file, it is tried again after a pause from budget.
bool ResolveReplaceTarget(const char* path, ByteBuffer& target, RetryBudget& budget);

// Where the symbolic link at path leads, whether or not a file is there now: for putting back a file that a
// replacement moved aside. False when path is no link or its content cannot be read.
bool ReadLinkDestination(const char* path, ByteBuffer& destination);

// What a replacement has left.
enum class ReplaceOutcome {
    // target holds the replacement's bytes; the replacement and the backup are gone.
    Replaced,
    // target is as it was (still missing, if it was); the replacement is still there for the caller to
    // remove.
    Unchanged,
    // As Unchanged, because another process held target past the budget: any other way of writing it would
    // meet the same holder.
    Held,
    // As Unchanged, because the replacement could not be made durable (a failing flush: the disk is full or
    // failing), so no other way of writing is safer.
    Unflushed,
    // The system refused every way of putting either file back in target's place: the old bytes are under
    // the backup's name, the new ones under the replacement's, and target is missing. Both stay.
    Stranded,
};

// Puts replacement (a complete, closed file in the same directory) in target's place in one step, after
// flushing its content to disk. An existing target keeps what the file system holds about it beside its
// content where the platform can keep it (permissions; on Windows its security descriptor, attributes and
// alternate streams). A target that is read-only, a directory or anything but a plain file is left alone.
// Where the platform moves the old file aside while it swaps (Windows), it moves it to backup, a free name
// in the same directory, and removes it only once target holds the new bytes; should target be found
// missing halfway, the new file is put in its place, or else the old one put back. While another process
// holds a file, the step is tried again after a pause from budget; while target is missing, for all that is
// left of it.
ReplaceOutcome ReplaceFileDurably(const char* replacement, const char* target, const char* backup,
                                  RetryBudget& budget);

// Puts the file at from in the empty place of to: moved, or else copied, since a copy still works where
// another process's handle forbids the move (the copy leaves from where it was, and counts once it is on the
// disk). False when neither worked. This is the one way a file goes into an empty place, in a replacement
// and in recovery alike.
bool PutInEmptyPlace(const char* from, const char* to, RetryBudget& budget);

// The last resort where no new file can be made beside target: writes data over the existing, writable
// target in one write of the whole content, cuts the file to that length and flushes it to disk. A
// target that is missing, read-only or anything but a plain file is left alone, as is one that another
// process holds beyond the budget. Returns false when the content was not written, with problem saying
// why (Denied for a missing target: there is nothing to write over).
bool OverwriteFileInPlace(const char* target, const char* data, std::size_t size, RetryBudget& budget,
                          FileProblem& problem);

// Creates the file at path (a new file, or one emptied) for writing as bytes, through g_fileCalls; null when
// it cannot, with problem saying why: Denied only where the folder takes no new files (the system refused
// access to it), as opposed to a full disk, a failing device or any other error.
std::FILE* OpenTemporaryFile(const char* path, FileProblem& problem);

// Removes the file at path, waiting a moment for another process that holds it; false when it is still
// there. Needs no memory from the heap, so that it can clean up after memory has run out.
bool RemoveFile(const char* path, RetryBudget& budget);
