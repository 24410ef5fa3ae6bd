#pragma once
// The calls to the system that a test of the portable build replaces: the C library's stream calls for the
// temporary file, and the pause between two tries. The POSIX build does not ship; it runs the portable rules
// under sanitizers and the fuzzer, and its other calls (open, fsync, rename, link, lstat, flock and the rest)
// go to the system directly.

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The character of the paths the system's calls take.
using PathChar = char;

struct FileCalls {
    std::FILE* (*openStream)(const char* name, const char* mode);
    std::size_t (*writeStream)(const void* data, std::size_t size, std::size_t count, std::FILE* stream);
    int (*flushStream)(std::FILE* stream);
    int (*closeStream)(std::FILE* stream);
    void (*sleep)(unsigned milliseconds);
    std::uint64_t (*clock)(); // milliseconds on the monotonic clock
};

// The running system's calls.
FileCalls SystemFileCalls();

// The calls the durable file makes: the system's, unless a test has put others in their place.
extern FileCalls g_fileCalls;
