#pragma once
// Reading a whole file; one implementation per platform (win/, posix/).

#include <cstdint>

#include "bytes/byte_buffer.h"
#include "durable_file/durable_file.h"
#include "durable_file/retry_budget.h"

// Reads the file at path into bytes, as bytes, as it is now (ReadDurableFile puts an interrupted
// replacement right first). Another process may hold the file for a moment without letting it be read
// (Windows sharing and lock conflicts): the read is then tried again after a pause from budget, as long as
// the budget lasts. When the read fails and problem is given, *problem says why. Given held, the file is
// opened for reading and writing without sharing where the platform and the file allow it (not a
// read-only one), and stays open in *held after a read, for a write in place that no other process can come
// between; *held is -1 where it was not kept.
ReadOutcome ReadWholeFile(const char* path, ByteBuffer& bytes, RetryBudget& budget,
                          FileProblem* problem = nullptr, std::intptr_t* held = nullptr);
