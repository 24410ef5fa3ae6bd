#pragma once
// What putting back an interrupted replacement needs from the operating system besides reading and
// replacing; one implementation per platform (win/, posix/).

#include <cstdint>
#include <string_view>

// Called for each plain file found: its name without a directory, its full path, and when it was last
// written (a count that grows with time).
using FileVisitor = void (*)(void* context, std::string_view name, std::string_view path,
                             std::uint64_t lastWrite);

// Calls visit for each plain file in target's directory whose name starts with target's name and a dot, in
// one query of the directory, however many other files it holds. False when the directory cannot be listed.
bool ListFilesBeside(const char* target, FileVisitor visit, void* context);

// Whether a process that may be in the middle of writing the file runs under processId: never this
// process, which is not writing while it asks; never an id that no process holds, or holds for another
// program. Where that cannot be told, it may be one.
bool MayBeWriting(unsigned long processId);
