#pragma once
// The names of the files a write makes beside the file it replaces, where a person can tell what they are:
// "<file>.<process id>.<started>.<n>.tmp" holds the new content, "<file>.<process id>.<started>.<n>.bak" the
// old file while the system swaps the two. A write makes them and the recovery before a later read reads
// them back.

#include <cstdint>
#include <string_view>

#include "bytes/byte_buffer.h"

enum class LeftoverKind { Temporary, Backup };

// The process that made a file. Process ids are handed out again once a process has ended (the first
// launcher of each session often gets the same one), so the id is named with the moment its process
// started, which no later holder of the id shares.
struct WriterId {
    unsigned long processId;
    std::uint64_t started; // in the system's units: on Windows, 100 ns since 1601

    bool operator==(const WriterId& other) const {
        return processId == other.processId && started == other.started;
    }
};

struct LeftoverName {
    WriterId writer;       // the process that made the file
    unsigned long counter; // which of that process's writes made it
    LeftoverKind kind;
};

inline constexpr std::string_view kTemporarySuffix = ".tmp";
inline constexpr std::string_view kBackupSuffix = ".bak";

// Appends "<file>.<process id>.<started>.<n>" to out, the stem of both names; false when memory ran out.
bool AppendLeftoverStem(ByteBuffer& out, std::string_view file, const WriterId& writer,
                        unsigned long counter);

// Whether name (without a directory) is one that AppendLeftoverStem and a suffix make for the file named
// base, to the letter: decimal numbers without sign or leading zeros, the start time's within 63 bits and
// the others' within 32. With ignoreCase,
// base matches in any case of its ASCII letters, as file names do on Windows.
bool ParseLeftoverName(std::string_view name, std::string_view base, bool ignoreCase, LeftoverName& out);
