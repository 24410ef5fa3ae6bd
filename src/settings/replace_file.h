#pragma once
// What the rewrite of config.cfg needs from the operating system; one implementation per platform.

#include <string>

// Puts replacement (a complete, closed file in the same directory) in target's place in one step, after
// flushing its content to disk. A target that is read-only, a directory or anything but a plain file is
// left alone. While another process holds the target open (a virus scanner, an indexer), the replacement
// is retried for at most about one second. Returns false when target was not replaced; replacement is
// then still there for the caller to remove.
bool ReplaceFileDurably(const std::string& replacement, const std::string& target);

// This process's id, which no other running process shares; it keeps temporary file names apart.
unsigned long CurrentProcessId();
