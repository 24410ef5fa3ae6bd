#pragma once
// The errors after which a call is tried again, a set for each kind of call that can give them. Each is
// passing: another process's hold on a file usually ends within a few hundred milliseconds.

#include <windows.h>

// Another process has the file open in a way that excludes ours, or has locked a range of it: any other way
// of writing the file would meet the same holder.
inline bool IsHeld(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// For opening, reading, flushing, moving and deleting a file: it is held, or another process is deleting
// or replacing it (the file answers "access denied" until the last handle to it closes).
inline bool IsBusy(DWORD error) {
    return IsHeld(error) || error == ERROR_ACCESS_DENIED;
}

// For ReplaceFileW, besides IsBusy: it could not remove the replaced file, or move the replacement in, for
// the moment; with a backup name given, both leave the two files under their own names.
inline bool IsSwapPostponed(DWORD error) {
    return IsBusy(error) || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
           error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}
