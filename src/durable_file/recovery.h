#pragma once
// Where a save of a file stopped, told by which of its two leftovers exist (leftover_names.h), and what
// then becomes of them. A save's steps come in one order: the new file is created anew, written and flushed;
// only then can the old name exist (the old file moved aside by the swap, or an empty witness where there
// was no old file); once the file holds the new bytes, the old name goes, then the new one. So every state
// a save can leave, cut off anywhere, by a crash or a power cut, is a row of one table:
//
//   new  old   what it means                               what becomes of it
//   no   no    no save unfinished                          nothing
//   yes  no    cut before its swap began, or refused or    the new file goes
//              undone
//   no   yes   finished                                    the old file goes; the file stays as it is
//                                                          (changed or deleted since, it stays so)
//   yes  yes   the swap had begun, so the new file was     the new file goes in the file's place, whatever
//              whole and on the disk                       shows there (nothing, another program's file, a
//                                                          copy cut short), unless the file holds its bytes
//                                                          already (then it is flushed); it keeps the old
//                                                          file's hidden and system attributes; both go
//
// No row keeps a leftover for later, and the only content looked at is whether the file equals the new one.
// The one choice this makes: a file reset (emptied or deleted) between a crash in the middle of a save and
// the next start is put back by that start; one reset after it stays.
//
// Runs with the save's lock held (durable_file.h), so that no other process's save is in the middle.

#include "durable_file/leftover_names.h"
#include "durable_file/retry_budget.h"

enum class Resolved {
    Clear,      // no leftover was there, or each went as its row says
    NewInPlace, // the last row: the file holds the new file's bytes
    // The row could not be carried out within budget (a leftover held, or its presence not to be told):
    // the leftovers stay, and the file may not be the file.
    Failed,
};

// Carries out the row of target's leftovers, named in names.
Resolved ResolveLeftovers(const char* target, const LeftoverPaths& names, RetryBudget& budget);
