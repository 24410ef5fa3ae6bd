#include "durable_file/leftover_files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bytes/byte_buffer.h"
#include "durable_file/path_name.h"
#include "durable_file/replace_file.h"

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

bool MayBeWriting(unsigned long processId) {
    // Ids that name no single process (kill would reach a whole group) are nobody's.
    if (processId == CurrentProcessId() || processId == 0 || processId > 0x7FFFFFFFul) {
        return false;
    }
    // Which program holds the id is not told here: any process there may be a launcher.
    return kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}
