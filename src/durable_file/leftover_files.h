#pragma once
// What putting back an unfinished rewrite needs from the operating system; one implementation per
// platform. Paths are the platform's own narrow paths: UTF-8 on Windows, never the ANSI code page.

#include <cstdint>
#include <string_view>

// Whether the platform's file names match in any case of their letters.
#ifdef _WIN32
inline constexpr bool kFileNamesIgnoreCase = true;
#else
inline constexpr bool kFileNamesIgnoreCase = false;
#endif

// Called for each plain file found: its name without a directory, its full path, and when it was last
// written (a count that grows with time).
using FileVisitor = void (*)(void* context, std::string_view name, std::string_view path,
                             std::uint64_t lastWrite);

// Calls visit for each plain file in target's directory whose name starts with target's name and a dot, in
// one query of the directory, however many other files it holds. False when the directory cannot be listed.
bool ListFilesBeside(const char* target, FileVisitor visit, void* context);

// Whether a launcher that may be in the middle of a rewrite runs under processId: never this process, which
// is not rewriting while it asks; never an id that no process holds, or holds for another program. Where
// that cannot be told, it may be one.
bool MayBeRewriting(unsigned long processId);

// Puts the file at from in the place of to, which is missing: moved, or else copied, since a copy still
// works where another process's handle forbids the move. A copy leaves from where it was. Never replaces a
// file that has appeared at to meanwhile. False when neither worked.
bool PutBack(const char* from, const char* to);
