#include "durable_file/leftover_files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bytes/byte_buffer.h"
#include "bytes/decimal.h"
#include "durable_file/path_name.h"

namespace {

// When the process with processId started, in clock ticks since the system booted: the 22nd field of
// /proc/<id>/stat, counted after the parenthesis that ends the program's name (which may hold spaces).
bool StartOf(unsigned long processId, std::uint64_t& started) {
    char number[kDecimalCapacity];
    ByteBuffer path;
    if (!path.Append("/proc/") ||
        !path.Append(std::string_view(number, FormatDecimal(static_cast<std::int64_t>(processId), number))) ||
        !path.Append("/stat")) {
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char text[1024];
    const std::size_t size = std::fread(text, 1, sizeof text, file);
    std::fclose(file);
    std::size_t at = size;
    while (at > 0 && text[at - 1] != ')') {
        --at;
    }
    // Fields 3 to 21 come before the start time.
    for (int field = 3; at < size && field <= 22; ++field) {
        while (at < size && text[at] == ' ') {
            ++at;
        }
        std::uint64_t value = 0;
        while (at < size && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
            ++at;
        }
        while (at < size && text[at] != ' ') {
            ++at;
        }
        if (field == 22) {
            started = value;
            return true;
        }
    }
    return false;
}

} // namespace

bool ListFilesBeside(const char* target, FileVisitor visit, void* context) {
    const std::string_view directory = DirectoryOf(target);
    const std::string_view base = FileNameOf(target);
    ByteBuffer folder;
    if (!folder.Append(directory.empty() ? std::string_view(".") : directory)) {
        return false;
    }
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) {
        return false;
    }
    ByteBuffer path;
    while (const dirent* entry = readdir(listing)) {
        const std::string_view name(entry->d_name);
        if (name.size() <= base.size() || std::string_view(name.data(), base.size()) != base ||
            name[base.size()] != '.') {
            continue;
        }
        path.Clear();
        struct stat status {};
        if (path.Append(directory) && path.Append(name) && lstat(path.c_str(), &status) == 0 &&
            S_ISREG(status.st_mode)) {
            visit(context, name, path.view(), static_cast<std::uint64_t>(status.st_mtime));
        }
    }
    closedir(listing);
    return true;
}

bool CurrentWriter(WriterId& out) {
    const auto processId = static_cast<unsigned long>(getpid());
    if (!StartOf(processId, out.started)) {
        return false;
    }
    out.processId = processId;
    return true;
}

bool MayBeWriting(const WriterId& writer) {
    WriterId self{};
    // Ids that name no single process (kill would reach a whole group) are nobody's.
    if ((CurrentWriter(self) && self == writer) || writer.processId == 0 || writer.processId > 0x7FFFFFFFul) {
        return false;
    }
    if (kill(static_cast<pid_t>(writer.processId), 0) != 0 && errno != EPERM) {
        return false;
    }
    std::uint64_t started = 0;
    return !StartOf(writer.processId, started) || started == writer.started;
}
