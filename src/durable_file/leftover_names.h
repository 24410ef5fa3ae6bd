#pragma once
// The names of the files a write makes beside the file it replaces, where a person can tell what they are:
// "<file>.<process id>.<n>.tmp" holds the new content, "<file>.<process id>.<n>.bak" the old file while the
// system swaps the two. A write makes them and the recovery before a later read reads them back.

#include <string_view>

#include "bytes/byte_buffer.h"

enum class LeftoverKind { Temporary, Backup };

struct LeftoverName {
    unsigned long processId; // the process that made the file
    unsigned long counter;   // which of that process's writes made it
    LeftoverKind kind;
};

inline constexpr std::string_view kTemporarySuffix = ".tmp";
inline constexpr std::string_view kBackupSuffix = ".bak";

// Appends "<file>.<process id>.<n>" to out, the stem of both names; false when memory ran out.
bool AppendLeftoverStem(ByteBuffer& out, std::string_view file, unsigned long processId,
                        unsigned long counter);

// Whether name (without a directory) is one that AppendLeftoverStem and a suffix make for the file named
// base, to the letter: decimal numbers without sign or leading zeros that fit in 32 bits. With ignoreCase,
// base matches in any case of its ASCII letters, as file names do on Windows.
bool ParseLeftoverName(std::string_view name, std::string_view base, bool ignoreCase, LeftoverName& out);
