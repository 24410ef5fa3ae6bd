#pragma once
// A file that is never lost, whatever it holds: read whole, and written by putting a complete new file in
// its place in one step, so that a crash, a power cut or another program holding the file at the wrong
// moment leaves the old bytes or the new ones, never a mixture. Paths are the platform's own narrow paths:
// UTF-8 on Windows, never the ANSI code page.
//
// The rule every removal and replacement in this folder keeps: no bytes are removed while the file may
// still need them and they exist nowhere else. The old content stays, where it is or under the backup's
// name, until the new content is whole and on the disk in its place (or the old is back); the files a
// replacement made go once it has ended, so that none can be chosen again: when the target holds the bytes
// of one of them, or when one is left alone (a temporary file that never took part in a swap, a backup
// that outlived its swap). What shows under the target's name when a file is put there is the target's
// current content, which the replacement replaces, as any write of the file does.

#include <string_view>

#include "bytes/byte_buffer.h"
#include "durable_file/retry_budget.h"

// Why a read or a write did not happen, from what the system said, for the person who can put it right.
enum class FileProblem {
    None,        // it happened, or nothing was said
    ReadOnly,    // the file is marked read-only
    Denied,      // the system refused access: the folder takes no new file and the file cannot be written
    DiskFull,    // the disk or medium is full
    Held,        // another process held the file past the deadline
    Unreadable,  // the file is there but could not be read (a folder in its place, no right to read it)
    Unrecovered, // a replacement of the file that was cut off could not be put right yet
    Failed,      // anything else: a failing or missing device, memory ran out
};

enum class ReadOutcome {
    Read,    // bytes holds the whole file
    Missing, // there is no such file; bytes is empty
    // The file could not be opened or read to its end, or memory ran out; or a replacement of it that was
    // cut off could not be put right, so that what shows (nothing, say) may not be the file.
    Failed,
};

// Reads the file at path into bytes, as bytes, after putting right a replacement of it that was cut off
// (recovery.h). Another process may hold the file for a moment without letting it be read: the read is then
// tried again after a pause from budget, as long as the budget lasts. A write that follows shares the
// budget: one deadline for both (retry_budget.h). When the read fails and problem is given, *problem says
// why.
ReadOutcome ReadDurableFile(const char* path, ByteBuffer& bytes, RetryBudget& budget,
                            FileProblem* problem = nullptr);

enum class WriteOutcome {
    // The file at path (for a symbolic link, the file it leads to) holds data.
    Written,
    // The file is exactly as it was, still missing if it was; nothing made for the write is left.
    Unchanged,
    // The system moved the old file aside and then refused, for seconds, every way of putting either file
    // back: the old bytes wait under "<file>.<pid>.<started>.<n>.bak", the new ones under
    // "<file>.<pid>.<started>.<n>.tmp", and the file is missing. The next read puts it back.
    Stranded,
};

// Makes data the content of the file at path, creating it when it is missing. The new content goes to a
// temporary file beside the file (beside the file a symbolic link leads to), which then takes the old
// file's place in one step, keeping what the file system holds about it beside its content where the
// platform can. Where the folder refuses the temporary file, an existing writable file is overwritten in
// place instead: only where the system refused access to the folder, never after an error of the device. A
// file that is read-only, a directory or anything but a plain file is left alone. While another process
// holds a file, each step is tried again after a pause from budget. When the file is left unchanged and
// problem is given, *problem says why.
WriteOutcome WriteDurableFile(const char* path, std::string_view data, RetryBudget& budget,
                              FileProblem* problem = nullptr);
