#pragma once
// Putting config.cfg back after a rewrite that was cut off: a crash, a power cut or the process ended
// between the steps of a swap leaves the file missing, its old bytes under "<file>.<pid>.<n>.bak" and the
// new ones under "<file>.<pid>.<n>.tmp" (leftover_names.h).

// Runs before the file at path is read, at start and before a rewrite. When the file (the file a symbolic
// link leads to) is missing and an unfinished rewrite of another process left its files beside it, puts
// one of them back in its place: the temporary file where its backup shows that the swap had begun (the
// temporary file was complete and on disk before the swap started), otherwise the backup. A temporary file
// without its backup never took part in a swap and may have been cut short: it is never put in place. Then
// removes each leftover whose bytes the file now holds exactly; any other stays, as its bytes may exist
// nowhere else. The files of a launcher that may still be rewriting (MayBeRewriting) are not touched.
// Writes no byte that was not saved before.
void RecoverUnfinishedRewrite(const char* path);
