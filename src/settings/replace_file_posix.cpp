#include "replace_file.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool SyncPath(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        return false;
    }
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

std::string DirectoryOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

bool ReplaceFileDurably(const std::string& replacement, const std::string& target) {
    struct stat status {};
    if (lstat(target.c_str(), &status) == 0) {
        // Only a plain file is replaced (a symbolic link would be replaced by a plain file). Read-only
        // means no write bit at all or no write permission for us; the bits count even for root, who
        // would be let through by access() alone.
        if (!S_ISREG(status.st_mode)) {
            return false;
        }
        if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(target.c_str(), W_OK) != 0) {
            return false;
        }
        // The new file keeps the old one's permissions.
        if (chmod(replacement.c_str(), status.st_mode & 07777) != 0) {
            return false;
        }
    } else if (errno != ENOENT) {
        return false;
    }
    if (!SyncPath(replacement)) {
        return false;
    }
    if (std::rename(replacement.c_str(), target.c_str()) != 0) {
        return false;
    }
    // Makes the new directory entry durable too; the replacement has happened either way.
    SyncPath(DirectoryOf(target));
    return true;
}

unsigned long CurrentProcessId() {
    return static_cast<unsigned long>(getpid());
}
