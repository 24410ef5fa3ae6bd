#pragma once
// What putting back an interrupted replacement needs from the operating system besides reading and
// replacing; one implementation per platform (win/, posix/).

#include <cstdint>
#include <string_view>

#include "durable_file/leftover_names.h"

// Called for each plain file found: its name without a directory, its full path, and when it was last
// written (a count that grows with time).
using FileVisitor = void (*)(void* context, std::string_view name, std::string_view path,
                             std::uint64_t lastWrite);

// Calls visit for each plain file in target's directory whose name starts with target's name and a dot, in
// one query of the directory, however many other files it holds. False when the directory cannot be listed.
bool ListFilesBeside(const char* target, FileVisitor visit, void* context);

// This process, as its leftovers name it; false when the system does not tell when it started.
bool CurrentWriter(WriterId& out);

// Whether writer may still be in the middle of writing the file: a process holds its id and started at its
// moment, whatever program it runs. Never this process, which is not writing while it asks; never an id
// that no process holds, or that a process started at another moment holds. Where that cannot be told, it
// may be.
bool MayBeWriting(const WriterId& writer);
