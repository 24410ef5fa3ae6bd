#pragma once
// Putting a file back after a replacement that was cut off: a crash, a power cut or the process ended
// between the steps of a swap leaves the file missing, its old bytes under "<file>.<pid>.<started>.<n>.bak"
// and the new ones under "<file>.<pid>.<started>.<n>.tmp" (leftover_names.h).

// Runs before the file at path is read (ReadDurableFile). When the file (the file a symbolic link leads
// to) is missing and an interrupted replacement of another process left its temporary file and its backup
// beside it, the temporary file goes in its place: its backup shows that the swap had begun, so it was
// complete and on disk. A backup alone is never put back. Then each replacement that has ended goes: both
// its files once the file holds the bytes of either, and a temporary file or a backup left alone; a pair
// beside a file that holds neither stays (the rule in durable_file.h). The files of a process that may
// still be writing (MayBeWriting) are not touched. Writes no byte that was not saved before.
void RecoverInterruptedReplacement(const char* path);
