#include "durable_file/recovery.h"

#include <cstddef>
#include <cstdint>

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
};

struct Leftovers {
    std::string_view base; // the name of the file they belong to
    Leftover items[kMostLeftovers];
    std::size_t count = 0;
};

// Keeps the leftovers of the file that no running process may still be writing.
void Collect(void* context, std::string_view name, std::string_view path, std::uint64_t lastWrite) {
    Leftovers& found = *static_cast<Leftovers*>(context);
    LeftoverName parsed{};
    if (found.count == kMostLeftovers || !ParseLeftoverName(name, found.base, kFileNamesIgnoreCase, parsed) ||
        MayBeWriting(parsed.writer)) {
        return;
    }
    Leftover& item = found.items[found.count];
    item.path.Clear();
    if (item.path.Append(path)) {
        item.name = parsed;
        item.lastWrite = lastWrite;
        ++found.count;
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

// The file to put back: the newest temporary file whose backup shows that its swap had begun (it was
// complete and on the disk before the swap started). A backup alone is never put back: its replacement
// had ended, and a file missing since is the doing of the player or the game.
const Leftover* ChooseSource(const Leftovers& found) {
    const Leftover* best = nullptr;
    for (std::size_t i = 0; i < found.count; ++i) {
        const Leftover& item = found.items[i];
        if (item.name.kind == LeftoverKind::Temporary && PartnerOf(found, item) != nullptr &&
            (best == nullptr || Newer(item, *best))) {
            best = &item;
        }
    }
    return best;
}

} // namespace

void RecoverInterruptedReplacement(const char* path) {
    RetryBudget budget;
    ByteBuffer target;
    // A link whose file is missing leads to where the leftovers lie.
    if (!ResolveReplaceTarget(path, target, budget) && !ReadLinkDestination(path, target)) {
        return;
    }
    Leftovers found;
    found.base = FileNameOf(target.view());
    if (!ListFilesBeside(target.c_str(), Collect, &found) || found.count == 0) {
        return;
    }
    ByteBuffer current;
    ReadOutcome outcome = ReadWholeFile(target.c_str(), current, budget);
    if (outcome == ReadOutcome::Missing) {
        const Leftover* source = ChooseSource(found);
        if (source != nullptr) {
            if (!PutInEmptyPlace(source->path.c_str(), target.c_str())) {
                return;
            }
            outcome = ReadWholeFile(target.c_str(), current, budget);
        }
    }
    if (outcome == ReadOutcome::Failed) {
        return;
    }
    // Which leftovers the file now holds exactly, and which are gone (the one put in place), decided before
    // any goes.
    bool holds[kMostLeftovers] = {};
    bool gone[kMostLeftovers] = {};
    ByteBuffer bytes;
    for (std::size_t i = 0; i < found.count; ++i) {
        const ReadOutcome read = ReadWholeFile(found.items[i].path.c_str(), bytes, budget);
        holds[i] =
            outcome == ReadOutcome::Read && read == ReadOutcome::Read && bytes.view() == current.view();
        gone[i] = read == ReadOutcome::Missing;
    }
    // A replacement has ended when the file holds the bytes of one of its two files (put in place, or put
    // back), or when one of them is gone: a lone temporary file never took part in a swap, a lone backup
    // outlived a swap that ended. Its files go then, and only then (the rule in durable_file.h); where the
    // file holds neither (another program's file shows in its place), both stay.
    bool ended[kMostLeftovers] = {};
    for (std::size_t i = 0; i < found.count; ++i) {
        const Leftover* partner = PartnerOf(found, found.items[i]);
        ended[i] =
            partner == nullptr || holds[i] || holds[partner - found.items] || gone[partner - found.items];
    }
    for (std::size_t i = 0; i < found.count; ++i) {
        if (ended[i]) {
            RemoveFile(found.items[i].path.c_str());
        }
    }
}
