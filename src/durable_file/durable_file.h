#pragma once
// A file that is never lost, whatever it holds: read whole, and written by putting a complete new file in
// its place in one step, so that a crash, a power cut or another program holding the file at the wrong
// moment leaves the old bytes or the new ones, never a mixture. Paths are the platform's own narrow paths:
// UTF-8 on Windows, never the ANSI code page.
//
// The rule every removal and replacement in this folder keeps: no bytes are removed while the file may
// still need them and they exist nowhere else. A save leaves at most one new file and one old one beside the
// file, under fixed names, and the lock that lets one save of a file run at a time (leftover_names.h); which
// of the two exist tells where a save stopped, and the next read or write that holds the lock resolves them
// (recovery.h), so that none is ever kept for later.

#include <cstdint>
#include <string_view>

#include "bytes/byte_buffer.h"
#include "durable_file/retry_budget.h"

// Why a read or a write did not happen, from what the system said, for the person who can put it right.
enum class FileProblem {
    None,        // it happened, or nothing was said
    ReadOnly,    // the file is marked read-only
    Denied,      // the system refused access: the folder takes no new file and the file cannot be written
    DiskFull,    // the disk or medium is full
    Held,        // another process held the file (or another launcher's save its lock) past the deadline
    Unreadable,  // the file is there but could not be read (a folder in its place, no right to read it)
    Unrecovered, // what a save that was cut off left could not be resolved yet
    Failed,      // anything else: a failing or missing device, memory ran out
};

enum class ReadOutcome {
    Read,    // bytes holds the whole file
    Missing, // there is no such file; bytes is empty
    // The file could not be opened or read to its end, or memory ran out; or a save of it that was cut off
    // could not be resolved, so that what shows (nothing, say) may not be the file.
    Failed,
};

enum class WriteOutcome {
    // The file at path (for a symbolic link, the file it leads to) holds data.
    Written,
    // The file is exactly as it was, still missing if it was; nothing made for the write is left.
    Unchanged,
    // The system moved the old file aside and then refused, for seconds, every way of putting the new one
    // in its place: the old bytes wait under "<file>.launcher-old", the new ones under
    // "<file>.launcher-new", and the file is missing (or shows what another program put there). The next
    // read or write puts the new file in place.
    Stranded,
};

// The one save of a file that may run at a time, among all processes, while this object holds it: a lock
// that the system releases when its process ends, however it ends. A save holds it across its read, the
// merge and its write; it is never held while waiting for the player or another program.
class SaveLock {
public:
    SaveLock() = default;
    ~SaveLock() { Release(); }
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;

    bool Taken() const { return taken_; }
    void Release();

private:
    friend ReadOutcome ReadDurableFile(const char*, ByteBuffer&, RetryBudget&, FileProblem*, SaveLock*);
    friend WriteOutcome WriteDurableFile(const char*, std::string_view, RetryBudget&, FileProblem*,
                                         SaveLock*);

    // Takes the lock at lockPath (leftover_names.h), waiting for another process's save within a share of
    // budget. True when this process now runs the file's one save: it holds the lock, or the folder takes no
    // new files, so that no save can leave anything beside the file.
    bool Take(const char* lockPath, RetryBudget& budget);

    std::intptr_t handle_ = -1;
    // The file itself, kept open without sharing from the save's read, for a write in place; -1 when not.
    std::intptr_t file_ = -1;
    bool taken_ = false;
};

// Reads the file at path into bytes, as bytes, after resolving what a save of it that was cut off left
// (recovery.h). A read without lock takes the save's lock only when something was left, and gives up the
// resolving while another process's save holds it (Failed where the file is missing then). A read given
// lock takes it for the save that follows and keeps it, and keeps the file open without sharing (where it
// may be written) for a write in place, until the write lets go of it; it fails when it cannot take it.
// Another process may hold the file for a moment without letting it be read: the read is then tried again
// after a pause from budget, as long as the budget lasts. A write that follows shares the budget: one
// deadline for both (retry_budget.h). When the read fails and problem is given, *problem says why.
ReadOutcome ReadDurableFile(const char* path, ByteBuffer& bytes, RetryBudget& budget,
                            FileProblem* problem = nullptr, SaveLock* lock = nullptr);

// Makes data the content of the file at path, creating it when it is missing, holding the save's lock (lock,
// when the read before it took it; else a lock of its own). The new content goes to a new file beside the
// file (beside the file a symbolic link leads to), which then takes the old file's place in one step,
// keeping what the file system holds about it beside its content where the platform can. Where the folder
// takes no new files, an existing writable file is overwritten in place instead: only where the system
// refused access to the folder, never after an error of the device. A file that is read-only, a directory or
// anything but a plain file is left alone. While another process holds a file, each step is tried again
// after a pause from budget.
// When the file is left unchanged and problem is given, *problem says why.
WriteOutcome WriteDurableFile(const char* path, std::string_view data, RetryBudget& budget,
                              FileProblem* problem = nullptr, SaveLock* lock = nullptr);
