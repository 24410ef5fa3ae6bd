#pragma once
// Putting a file back after a replacement that was cut off: a crash, a power cut or the process ended
// between the steps of a swap leaves the file missing, its old bytes under "<file>.<pid>.<started>.<n>.bak"
// and the new ones under "<file>.<pid>.<started>.<n>.tmp" (leftover_names.h).

#include "durable_file/retry_budget.h"

// Runs before the file at path is read (ReadDurableFile), waiting for other processes within budget. When
// the file (the file a symbolic link leads to) is missing and an interrupted replacement of another process
// left its temporary file and its backup beside it, the temporary file goes in its place: its backup (or,
// where there was no old file, an empty witness under the backup's name) shows that the swap had begun, so it
// was complete and on the disk. So it does when what shows in the file's place is such a put-back cut short
// (a prefix of either file, or zeros). The newest such replacement goes first; one that cannot be put back,
// held beyond its share of budget, makes way for the next. A backup alone is never put back. Then each
// replacement that has ended goes: both its files once the file holds the bytes of either, and a temporary
// file or a backup left alone; a pair beside a file that holds neither stays (the rule in durable_file.h).
// The files of a process that may still be writing (MayBeWriting) are not touched. Writes no byte that was
// not saved before.
//
// Returns false when the file may be missing only for now: a replacement's new file could not be put back,
// the folder could not be listed, or it holds more leftovers than are looked at. A write must not then make
// the file from nothing.
bool RecoverInterruptedReplacement(const char* path, RetryBudget& budget);
