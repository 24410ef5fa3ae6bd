#include "durable_file/recovery.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bytes/byte_buffer.h"
#include "durable_file/leftover_files.h"
#include "durable_file/leftover_names.h"
#include "durable_file/path_name.h"
#include "durable_file/read_file.h"
#include "durable_file/replace_file.h"

namespace {

// More leftovers than this in one folder are left for a later start.
constexpr std::size_t kMostLeftovers = 32;

struct Leftover {
    LeftoverName name;
    std::uint64_t lastWrite;
    ByteBuffer path;
    ReadOutcome read; // as the recovery began
    ByteBuffer bytes;
};

struct Leftovers {
    std::string_view base; // the name of the file they belong to
    Leftover items[kMostLeftovers];
    std::size_t count = 0;
    bool more = false; // more were found than are kept
};

// Keeps the leftovers of the file that no running process may still be writing.
void Collect(void* context, std::string_view name, std::string_view path, std::uint64_t lastWrite) {
    Leftovers& found = *static_cast<Leftovers*>(context);
    LeftoverName parsed{};
    if (!ParseLeftoverName(name, found.base, kFileNamesIgnoreCase, parsed) || MayBeWriting(parsed.writer)) {
        return;
    }
    if (found.count == kMostLeftovers) {
        found.more = true;
        return;
    }
    Leftover& item = found.items[found.count];
    item.path.Clear();
    if (item.path.Append(path)) {
        item.name = parsed;
        item.lastWrite = lastWrite;
        ++found.count;
    } else {
        found.more = true;
    }
}

// The other file of item's replacement: its backup for a temporary file, and the other way round.
const Leftover* PartnerOf(const Leftovers& found, const Leftover& item) {
    for (std::size_t i = 0; i < found.count; ++i) {
        const LeftoverName& other = found.items[i].name;
        if (other.kind != item.name.kind && other.writer == item.name.writer &&
            other.counter == item.name.counter) {
            return &found.items[i];
        }
    }
    return nullptr;
}

bool Newer(const Leftover& a, const Leftover& b) {
    return a.lastWrite != b.lastWrite ? a.lastWrite > b.lastWrite : a.name.counter > b.name.counter;
}

// Whether shown, in the file's place, is a copy of bytes that was cut off before it was whole on the disk:
// a part of their start, or zeros where the system kept the length and lost the data.
bool CutShort(std::string_view shown, const Leftover& of) {
    const std::string_view bytes = of.bytes.view();
    if (of.read != ReadOutcome::Read || shown.size() > bytes.size() || shown == bytes) {
        return false;
    }
    if (bytes.substr(0, shown.size()) == shown) {
        return true;
    }
    return shown.find_first_not_of('\0') == std::string_view::npos;
}

// The temporary files that may go in the file's place, newest first, in order: each one whose backup shows
// that its swap had begun (it was complete and on the disk before the swap started), when the file is missing
// or shows a put-back of that swap's files cut short. A backup alone is never put back: its replacement had
// ended, and a file missing since is the doing of the player or the game.
std::size_t Candidates(const Leftovers& found, ReadOutcome outcome, std::string_view shown,
                       const Leftover* out[]) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < found.count; ++i) {
        const Leftover& item = found.items[i];
        const Leftover* backup = PartnerOf(found, item);
        if (item.name.kind != LeftoverKind::Temporary || backup == nullptr ||
            !(outcome == ReadOutcome::Missing ||
              (outcome == ReadOutcome::Read && (CutShort(shown, item) || CutShort(shown, *backup))))) {
            continue;
        }
        std::size_t at = count++;
        for (; at > 0 && Newer(item, *out[at - 1]); --at) {
            out[at] = out[at - 1];
        }
        out[at] = &item;
    }
    return count;
}

// Puts the first of candidates that goes in target's place, each tried within a share of budget.
bool PutBack(const Leftover* const candidates[], std::size_t count, const char* target, RetryBudget& budget) {
    for (std::size_t i = 0; i < count; ++i) {
        RetryBudget share = budget.Share();
        do {
            if (PutInEmptyPlace(candidates[i]->path.c_str(), target, budget)) {
                return true;
            }
        } while (share.Wait());
    }
    return false;
}

} // namespace

bool RecoverInterruptedReplacement(const char* path, RetryBudget& budget) {
    ByteBuffer target;
    // A link whose file is missing leads to where the leftovers lie.
    if (!ResolveReplaceTarget(path, target, budget) && !ReadLinkDestination(path, target)) {
        return true; // nothing can be put there, and a write gives up the same way
    }
    Leftovers found;
    found.base = FileNameOf(target.view());
    // Where the file is missing, whatever could not be looked at may hold it.
    const bool looked = ListFilesBeside(target.c_str(), Collect, &found) && !found.more;
    if (looked && found.count == 0) {
        return true;
    }
    ByteBuffer current;
    ReadOutcome outcome = ReadWholeFile(target.c_str(), current, budget);
    if (found.count == 0 || outcome == ReadOutcome::Failed) {
        return looked || outcome != ReadOutcome::Missing;
    }
    for (std::size_t i = 0; i < found.count; ++i) {
        Leftover& item = found.items[i];
        item.read = ReadWholeFile(item.path.c_str(), item.bytes, budget);
    }
    const Leftover* candidates[kMostLeftovers];
    const std::size_t count = Candidates(found, outcome, current.view(), candidates);
    if (count > 0) {
        if (!PutBack(candidates, count, target.c_str(), budget)) {
            return false;
        }
        outcome = ReadWholeFile(target.c_str(), current, budget);
    }
    // A replacement has ended when the file holds the bytes of one of its two files (put in place, or put
    // back), or when one of them was gone: a lone temporary file never took part in a swap, a lone backup
    // outlived a swap that ended. Its files go then, and only then (the rule in durable_file.h); where the
    // file holds neither (another program's file shows in its place), both stay.
    const auto holds = [&](const Leftover& item) {
        return outcome == ReadOutcome::Read && item.read == ReadOutcome::Read &&
               item.bytes.view() == current.view();
    };
    for (std::size_t i = 0; i < found.count; ++i) {
        const Leftover& item = found.items[i];
        const Leftover* partner = PartnerOf(found, item);
        if (partner == nullptr || holds(item) || holds(*partner) || partner->read == ReadOutcome::Missing) {
            RemoveFile(item.path.c_str(), budget);
        }
    }
    return looked || outcome != ReadOutcome::Missing;
}
