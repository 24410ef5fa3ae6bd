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

bool HasBackup(const Leftovers& found, const LeftoverName& name) {
    for (std::size_t i = 0; i < found.count; ++i) {
        const LeftoverName& other = found.items[i].name;
        if (other.kind == LeftoverKind::Backup && other.writer == name.writer &&
            other.counter == name.counter) {
            return true;
        }
    }
    return false;
}

bool Newer(const Leftover& a, const Leftover& b) {
    return a.lastWrite != b.lastWrite ? a.lastWrite > b.lastWrite : a.name.counter > b.name.counter;
}

// The file to put back: a temporary file whose swap had begun, else a backup; the newest of its kind.
const Leftover* ChooseSource(const Leftovers& found) {
    const Leftover* best = nullptr;
    bool bestRollsForward = false;
    for (std::size_t i = 0; i < found.count; ++i) {
        const Leftover& item = found.items[i];
        const bool rollsForward = item.name.kind == LeftoverKind::Temporary && HasBackup(found, item.name);
        if (!rollsForward && item.name.kind != LeftoverKind::Backup) {
            continue; // a lone temporary file
        }
        if (best == nullptr || rollsForward > bestRollsForward ||
            (rollsForward == bestRollsForward && Newer(item, *best))) {
            best = &item;
            bestRollsForward = rollsForward;
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
        if (source == nullptr || !PutInEmptyPlace(source->path.c_str(), target.c_str())) {
            return;
        }
        outcome = ReadWholeFile(target.c_str(), current, budget);
    }
    if (outcome != ReadOutcome::Read) {
        return;
    }
    ByteBuffer bytes;
    for (std::size_t i = 0; i < found.count; ++i) {
        const char* leftover = found.items[i].path.c_str();
        // Its bytes are in the file now (the rule in durable_file.h).
        if (ReadWholeFile(leftover, bytes, budget) == ReadOutcome::Read && bytes.view() == current.view()) {
            RemoveFile(leftover);
        }
    }
}
