#include "durable_file/recovery.h"

#include "bytes/byte_buffer.h"
#include "durable_file/read_file.h"
#include "durable_file/replace_file.h"

namespace {

// The last row: the new file in target's place, then both leftovers gone. What shows in target's place and
// cannot be read is taken for another file: it goes as well.
bool PutNewInPlace(const char* target, const LeftoverPaths& names, RetryBudget& budget) {
    const Presence shown = FileAt(target);
    if (shown == Presence::Unknown) {
        return false;
    }
    bool holdsNew = false;
    if (shown == Presence::Present) {
        ByteBuffer fresh;
        ByteBuffer current;
        holdsNew = ReadWholeFile(names.newFile.c_str(), fresh, budget) == ReadOutcome::Read &&
                   ReadWholeFile(target, current, budget) == ReadOutcome::Read &&
                   current.view() == fresh.view();
        // Cut off after this removal, the next start finds the same row.
        if (!(holdsNew ? FlushFile(target, budget) : RemoveFile(target, budget))) {
            return false;
        }
    }
    // A file that no program can read now: all that is left of the deadline is well spent here.
    while (!holdsNew && !PutInEmptyPlace(names.newFile.c_str(), target, budget)) {
        if (!budget.Wait()) {
            return false;
        }
    }
    KeepAttributes(names.oldFile.c_str(), target);
    RemoveFile(names.oldFile.c_str(), budget);
    RemoveFile(names.newFile.c_str(), budget);
    return true;
}

} // namespace

Resolved ResolveLeftovers(const char* target, const LeftoverPaths& names, RetryBudget& budget) {
    RetryBudget share = budget.Share();
    for (;;) {
        const Presence fresh = FileAt(names.newFile.c_str());
        const Presence old = FileAt(names.oldFile.c_str());
        if (fresh == Presence::Present && old == Presence::Present) {
            if (PutNewInPlace(target, names, budget)) {
                return Resolved::NewInPlace;
            }
        } else if (fresh != Presence::Unknown && old != Presence::Unknown) {
            const char* leftover = fresh == Presence::Present ? names.newFile.c_str()
                                   : old == Presence::Present ? names.oldFile.c_str()
                                                              : nullptr;
            if (leftover == nullptr || RemoveFile(leftover, budget)) {
                return Resolved::Clear;
            }
        }
        if (!share.Wait()) {
            return Resolved::Failed;
        }
    }
}
