#pragma once
// Reading a whole file; one implementation per platform. The path is the platform's own narrow path:
// UTF-8 on Windows, never the ANSI code page.

#include "bytes/byte_buffer.h"
#include "durable_file/retry_budget.h"

enum class ReadOutcome {
    Read,    // bytes holds the whole file
    Missing, // there is no such file; bytes is empty
    Failed,  // the file could not be opened or read to its end, or memory ran out
};

// Reads the file at path into bytes, as bytes. Another process may hold the file for a moment without
// letting it be read (Windows sharing and lock conflicts): the read is then tried again after a pause
// from budget, as long as the budget lasts.
ReadOutcome ReadWholeFile(const char* path, ByteBuffer& bytes, RetryBudget& budget);
