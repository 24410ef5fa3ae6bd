#pragma once
// The three names a save of a file uses beside it (beside the file a symbolic link leads to), which no
// player or game would give a copy of their own: "<file>.launcher-new" holds the new content,
// "<file>.launcher-old" the old file while the system swaps the two (or, where there was no old file, is an
// empty witness), and "<file>.launcher-lock" is the lock that lets one save of the file run at a time. The
// lock file is never removed; the other two allow at most one unfinished save of each file.

#include <string_view>

#include "bytes/byte_buffer.h"

inline constexpr std::string_view kNewSuffix = ".launcher-new";
inline constexpr std::string_view kOldSuffix = ".launcher-old";
inline constexpr std::string_view kLockSuffix = ".launcher-lock";

// The three paths beside target.
struct LeftoverPaths {
    ByteBuffer newFile;
    ByteBuffer oldFile;
    ByteBuffer lock;

    // False when memory ran out.
    bool Make(std::string_view target) {
        newFile.Clear();
        oldFile.Clear();
        lock.Clear();
        return newFile.Append(target) && newFile.Append(kNewSuffix) && oldFile.Append(target) &&
               oldFile.Append(kOldSuffix) && lock.Append(target) && lock.Append(kLockSuffix);
    }
};
