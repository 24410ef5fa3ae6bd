#pragma once
// What the system's error of a failed file call tells the person who can put it right (FileProblem).

#include <windows.h>

#include "durable_file/durable_file.h"
#include "durable_file/win/retry_errors.h"

// The problem behind an error of creating, writing, flushing or replacing a file. Only "access denied"
// counts as a refusal of the folder or file: a write-protected or failing device is no matter of rights.
inline FileProblem ProblemOfWriteError(DWORD error) {
    if (IsHeld(error)) {
        return FileProblem::Held;
    }
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return FileProblem::Denied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileProblem::DiskFull;
    default:
        return FileProblem::Failed;
    }
}

// The problem behind an error of opening or reading a file that is there: held by another process, or
// else unreadable (a folder in its place answers "access denied", as does a file we may not read).
inline FileProblem ProblemOfReadError(DWORD error) {
    return IsHeld(error) ? FileProblem::Held : FileProblem::Unreadable;
}
