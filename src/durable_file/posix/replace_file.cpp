#include "durable_file/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "durable_file/file_calls.h"
#include "durable_file/path_name.h"

namespace {

bool SyncPath(const char* path) {
    const int fd = open(path, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

// Makes a new directory entry in the directory of path durable.
void SyncDirectoryOf(const char* path) {
    ByteBuffer directory;
    const std::string_view folder = DirectoryOf(path);
    if (directory.Append(folder.empty() ? std::string_view(".") : folder)) {
        SyncPath(directory.c_str());
    }
}

// A plain file that we may write. Read-only means no write bit at all or no write permission for us; the
// bits count even for root, who would be let through by access() alone.
bool IsWritablePlainFile(const char* path, struct stat& status) {
    return lstat(path, &status) == 0 && S_ISREG(status.st_mode) &&
           (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && access(path, W_OK) == 0;
}

// The problem behind errno after a failed call that creates or writes a file.
FileProblem ProblemOfErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return FileProblem::Denied;
    case ENOSPC:
    case EDQUOT:
        return FileProblem::DiskFull;
    default:
        return FileProblem::Failed;
    }
}

} // namespace

bool ResolveReplaceTarget(const char* path, ByteBuffer& target, RetryBudget&) {
    target.Clear();
    struct stat status {};
    if (lstat(path, &status) != 0 || !S_ISLNK(status.st_mode)) {
        return target.Append(path);
    }
    // realpath fails for a link that leads nowhere (or round in a circle).
    char* resolved = realpath(path, nullptr);
    if (resolved == nullptr) {
        return false;
    }
    const bool copied = target.Append(resolved);
    std::free(resolved);
    return copied;
}

bool ReadLinkDestination(const char* path, ByteBuffer& destination) {
    destination.Clear();
    char content[4096];
    const ssize_t length = readlink(path, content, sizeof content);
    if (length <= 0 || static_cast<std::size_t>(length) == sizeof content) {
        return false;
    }
    // A relative link leads from its own directory.
    if (content[0] != '/') {
        destination.Append(DirectoryOf(path));
    }
    destination.Append(std::string_view(content, static_cast<std::size_t>(length)));
    return !destination.Failed();
}

// rename() swaps the names in one step, never leaving target missing: no backup is needed. replacement is
// on the disk already.
ReplaceOutcome ReplaceFileDurably(const char* replacement, const char* target, const char*, RetryBudget&) {
    struct stat status {};
    if (lstat(target, &status) != 0) {
        return errno == ENOENT ? ReplaceOutcome::Halfway : ReplaceOutcome::Unchanged;
    }
    // Only a plain file is replaced: a symbolic link would turn into a plain file. The new file keeps the
    // old one's permissions.
    if (!IsWritablePlainFile(target, status) || chmod(replacement, status.st_mode & 07777) != 0 ||
        std::rename(replacement, target) != 0) {
        return ReplaceOutcome::Unchanged;
    }
    // The replacement has happened either way.
    SyncDirectoryOf(target);
    return ReplaceOutcome::Replaced;
}

bool OverwriteFileInPlace(const char* target, const char* data, std::size_t size, RetryBudget&,
                          FileProblem& problem) {
    struct stat status {};
    if (!IsWritablePlainFile(target, status)) {
        // Missing: the folder refused the new file and there is none to write over.
        const bool exists = lstat(target, &status) == 0;
        problem = !exists                   ? FileProblem::Denied
                  : S_ISREG(status.st_mode) ? FileProblem::ReadOnly
                                            : FileProblem::Failed;
        return false;
    }
    const int fd = open(target, O_WRONLY | O_NOFOLLOW);
    if (fd < 0) {
        problem = ProblemOfErrno(errno);
        return false;
    }
    // One write of the whole content; the loop only carries on where the system wrote less at once.
    bool written = true;
    std::size_t done = 0;
    while (written && done < size) {
        const ssize_t count = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (count > 0) {
            done += static_cast<std::size_t>(count);
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            written = false;
        }
    }
    written = written && ftruncate(fd, static_cast<off_t>(size)) == 0 && fsync(fd) == 0;
    problem = written ? FileProblem::None : ProblemOfErrno(errno);
    return close(fd) == 0 && written;
}

// link() never replaces an existing to, and leaves from for the clean-up; the copy that Windows needs where
// a move is refused has no cause here.
bool PutInEmptyPlace(const char* from, const char* to, RetryBudget&) {
    if (link(from, to) != 0) {
        return false;
    }
    SyncDirectoryOf(to);
    return true; // from goes with the clean-up that follows
}

FileProblem ReplaceRefusal(const char* target) {
    struct stat status {};
    if (lstat(target, &status) != 0 || IsWritablePlainFile(target, status)) {
        return FileProblem::None;
    }
    return S_ISREG(status.st_mode) ? FileProblem::ReadOnly : FileProblem::Failed;
}

bool RenameFile(const char* from, const char* to) {
    if (link(from, to) != 0) {
        return false;
    }
    std::remove(from);
    SyncDirectoryOf(to);
    return true;
}

Presence FileAt(const char* path) {
    struct stat status {};
    if (lstat(path, &status) == 0) {
        return Presence::Present;
    }
    return errno == ENOENT || errno == ENOTDIR ? Presence::Absent : Presence::Unknown;
}

bool FlushFile(const char* path, RetryBudget&) {
    return SyncPath(path);
}

void KeepAttributes(const char*, const char*) {}

std::FILE* OpenNewFile(const char* path, FileProblem& problem) {
    errno = 0;
    std::FILE* file = g_fileCalls.openStream(path, "wb");
    problem = file != nullptr ? FileProblem::None : ProblemOfErrno(errno);
    return file;
}

bool RemoveFile(const char* path, RetryBudget&) {
    return std::remove(path) == 0 || errno == ENOENT;
}

// flock, whose lock belongs to the open file description: closing another descriptor of the same file
// (which releases a process's F_SETLK locks) leaves it.
LockTry TryLockFile(const char* path, std::intptr_t& handle) {
    handle = kNoLock;
    const int fd = open(path, O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno == EACCES && FileAt(path) == Presence::Absent ? LockTry::Refused : LockTry::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        close(fd);
        return busy ? LockTry::Busy : LockTry::Failed;
    }
    handle = fd;
    return LockTry::Taken;
}

void UnlockFile(std::intptr_t handle) {
    const int fd = static_cast<int>(handle);
    flock(fd, LOCK_UN);
    close(fd);
}

bool OverwriteHeldFile(std::intptr_t, const char*, std::size_t, FileProblem& problem) {
    problem = FileProblem::Failed; // never kept here (read_file.cpp)
    return false;
}

void CloseHeldFile(std::intptr_t) {}
