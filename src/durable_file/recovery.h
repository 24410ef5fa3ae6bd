#pragma once
// Putting a file back after a replacement that was cut off: a crash, a power cut or the process ended
// between the steps of a swap leaves the file missing, its old bytes under "<file>.<pid>.<started>.<n>.bak"
// and the new ones under "<file>.<pid>.<started>.<n>.tmp" (leftover_names.h).

// Runs before the file at path is read (ReadDurableFile). When the file (the file a symbolic link leads
// to) is missing and an interrupted replacement of another process left its files beside it, puts one of
// them back in its place: the temporary file where its backup shows that the swap had begun (the temporary
// file was complete and on disk before the swap started), otherwise the backup. A temporary file without
// its backup never took part in a swap and may have been cut short: it is never put in place. Then removes
// each leftover whose bytes the file now holds exactly; any other stays (the rule in durable_file.h). The
// files of a process that may still be writing (MayBeWriting) are not touched. Writes no byte that was not
// saved before.
void RecoverInterruptedReplacement(const char* path);
