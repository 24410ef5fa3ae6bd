#pragma once
// Reading a whole file; one implementation per platform (win/, posix/).

#include "bytes/byte_buffer.h"
#include "durable_file/durable_file.h"
#include "durable_file/retry_budget.h"

// Reads the file at path into bytes, as bytes, as it is now (ReadDurableFile puts an interrupted
// replacement right first). Another process may hold the file for a moment without letting it be read
// (Windows sharing and lock conflicts): the read is then tried again after a pause from budget, as long as
// the budget lasts. When the read fails and problem is given, *problem says why.
ReadOutcome ReadWholeFile(const char* path, ByteBuffer& bytes, RetryBudget& budget,
                          FileProblem* problem = nullptr);
