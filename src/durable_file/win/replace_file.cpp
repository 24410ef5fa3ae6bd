#include "durable_file/replace_file.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include <windows.h>
#include <winioctl.h>

#include "durable_file/path_name.h"
#include "durable_file/win/file_calls.h"
#include "durable_file/win/file_problem.h"
#include "durable_file/win/retry_errors.h"
#include "durable_file/win/wide_path.h"

namespace {

// Targets that are never replaced nor overwritten: a read-only file stays as it is, and a directory or a
// device would only give errors that no waiting cures.
constexpr DWORD kRefusedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;

// The attributes the replaced file passes on to the new one. Archive is left as the new file has it: its
// content has changed since any backup.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;

bool Exists(const wchar_t* path) {
    return g_fileCalls.getFileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

// Removes a file, waiting a moment (a share of budget) for another process that holds it. A file that is
// not there counts as removed. The caller keeps the rule in durable_file.h.
bool RemoveWithin(const wchar_t* path, RetryBudget& budget) {
    RetryBudget share = budget.Share();
    for (;;) {
        if (g_fileCalls.deleteFile(path)) {
            return true;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        if (!IsBusy(error) || !share.Wait()) {
            return false;
        }
    }
}

bool IsLink(const wchar_t* path) {
    const DWORD attributes = g_fileCalls.getFileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The most a reparse point holds (MAXIMUM_REPARSE_DATA_BUFFER_SIZE).
constexpr DWORD kLongestReparseData = 16 * 1024;

// The reparse data of a symbolic link, as FSCTL_GET_REPARSE_POINT gives it; the names follow in UTF-16.
struct SymbolicLinkData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteNameOffset; // in bytes, from the end of this header
    WORD substituteNameLength; // in bytes, without a NUL
    WORD printNameOffset;
    WORD printNameLength;
    ULONG flags;
};
constexpr ULONG kRelativeLink = 1; // SYMLINK_FLAG_RELATIVE

// The name a symbolic link's reparse data leads to: relative to the link's directory, or a full path
// ("\??\C:\..." becomes "\\?\C:\...").
bool SymbolicLinkName(const char* data, DWORD size, WideString& name, bool& relative) {
    SymbolicLinkData header;
    if (size < sizeof header) {
        return false;
    }
    std::memcpy(&header, data, sizeof header);
    const DWORD end = sizeof header + header.substituteNameOffset + header.substituteNameLength;
    if (header.tag != IO_REPARSE_TAG_SYMLINK || end > size || header.substituteNameLength == 0 ||
        header.substituteNameLength % sizeof(wchar_t) != 0 ||
        !name.Resize(header.substituteNameLength / sizeof(wchar_t))) {
        return false;
    }
    std::memcpy(name.data(), data + sizeof header + header.substituteNameOffset, header.substituteNameLength);
    relative = (header.flags & kRelativeLink) != 0;
    wchar_t* const text = name.data();
    if (!relative && header.substituteNameLength >= 4 * sizeof(wchar_t) && text[0] == L'\\' &&
        text[1] == L'?' && text[2] == L'?' && text[3] == L'\\') {
        text[1] = L'\\';
    }
    return true;
}

// Moves what the C runtime wrote to the file out of the system's cache onto the disk. Returns
// ERROR_SUCCESS or the error.
DWORD FlushToDisk(const wchar_t* path) {
    const HANDLE file =
        g_fileCalls.createFile(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    const DWORD error = g_fileCalls.flushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
    g_fileCalls.closeHandle(file);
    return error;
}

// Whether another process holds the file in a way that would make replacing it fail: opens it with the
// access a replacement needs. Returns the sharing or lock conflict, or ERROR_SUCCESS.
DWORD HeldByAnotherProcess(const wchar_t* path) {
    const HANDLE file = g_fileCalls.createFile(path, GENERIC_READ | GENERIC_WRITE | DELETE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return IsHeld(error) ? error : ERROR_SUCCESS;
    }
    g_fileCalls.closeHandle(file);
    return ERROR_SUCCESS;
}

// Not every file system keeps the replaced file's attributes: puts back its hidden, system and
// not-indexed bits (none where there was no file).
void RestoreAttributes(const wchar_t* target, DWORD old) {
    const DWORD now = g_fileCalls.getFileAttributes(target);
    if (old == INVALID_FILE_ATTRIBUTES || now == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    const DWORD wanted = (now & kSettableAttributes & ~kKeptAttributes) | (old & kKeptAttributes);
    if (wanted != (now & kSettableAttributes)) {
        g_fileCalls.setFileAttributes(target, wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
    }
}

// PutInEmptyPlace on full paths: never over an existing file, so that a move stays one step on every file
// system (a replacing move is two on FAT). A copy counts only once it is on the disk.
bool PutInPlace(const wchar_t* from, const wchar_t* to, RetryBudget& budget) {
    if (g_fileCalls.moveFileEx(from, to, MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    if (!g_fileCalls.copyFile(from, to, TRUE)) {
        return false;
    }
    if (FlushToDisk(to) != ERROR_SUCCESS) {
        RemoveWithin(to, budget); // a copy that may not be whole on the disk: the place is empty again
        return false;
    }
    return true;
}

// One try at swapping replacement into the existing target, whose attributes are given, with the old file
// moved aside to backup. Returns ERROR_SUCCESS, or the error with target still in place.
DWORD TrySwap(const wchar_t* replacement, const wchar_t* target, const wchar_t* backup, DWORD attributes) {
    // Some implementations of ReplaceFile leave a file of their own in the directory each time they fail
    // on a held file (wine 8.0 does): a held file is found out beforehand instead.
    const DWORD held = HeldByAnotherProcess(target);
    if (held != ERROR_SUCCESS) {
        return held;
    }
    // Swaps the content under the old file's name, security descriptor and alternate streams.
    if (g_fileCalls.replaceFile(target, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                nullptr)) {
        RestoreAttributes(target, attributes);
        return ERROR_SUCCESS;
    }
    return GetLastError();
}

// One try at the swap by two renames, once the system has refused ReplaceFileW: target aside to backup, then
// replacement into target's place, neither over an existing file. Returns ERROR_SUCCESS, or the error with
// target still in place; movedAside tells that target went to backup and replacement did not follow.
DWORD TryMove(const wchar_t* replacement, const wchar_t* target, const wchar_t* backup, DWORD attributes,
              bool& movedAside) {
    if (!g_fileCalls.moveFileEx(target, backup, MOVEFILE_WRITE_THROUGH)) {
        return GetLastError();
    }
    if (!g_fileCalls.moveFileEx(replacement, target, MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        // The old file back by a rename, never a copy, which would leave the old name marking a swap begun.
        movedAside = !g_fileCalls.moveFileEx(backup, target, MOVEFILE_WRITE_THROUGH);
        return error;
    }
    RestoreAttributes(target, attributes);
    return ERROR_SUCCESS;
}

bool SetLength(HANDLE file, LONGLONG length) {
    LARGE_INTEGER position;
    position.QuadPart = length;
    return g_fileCalls.setFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           g_fileCalls.setEndOfFile(file);
}

// The error a failed call left; never ERROR_SUCCESS, so that a failure is never taken for success.
DWORD FailedCallError() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// Writes the whole content over an open file from its start in one write, cuts the file there and
// flushes it. Returns ERROR_SUCCESS or the error of the call that failed.
DWORD WriteOver(HANDLE file, const char* data, std::size_t size) {
    LARGE_INTEGER oldSize{};
    if (size > MAXDWORD) {
        return ERROR_FILE_TOO_LARGE;
    }
    if (!g_fileCalls.getFileSizeEx(file, &oldSize)) {
        return FailedCallError();
    }
    const LONGLONG newSize = static_cast<LONGLONG>(size);
    // A file that grows gets its room first: a full disk then shows before any old byte has changed.
    const bool grows = newSize > oldSize.QuadPart;
    if (grows && !SetLength(file, newSize)) {
        const DWORD error = FailedCallError();
        SetLength(file, oldSize.QuadPart);
        return error;
    }
    LARGE_INTEGER start{};
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (!g_fileCalls.setFilePointerEx(file, start, nullptr, FILE_BEGIN) ||
        !g_fileCalls.writeFile(file, data, static_cast<DWORD>(size), &written, nullptr)) {
        error = FailedCallError();
    } else if (written != size) {
        error = ERROR_WRITE_FAULT;
    }
    if (error != ERROR_SUCCESS) {
        // Nothing was written: the room made for the new content goes again.
        if (grows) {
            SetLength(file, oldSize.QuadPart);
        }
        return error;
    }
    return g_fileCalls.setEndOfFile(file) && g_fileCalls.flushFileBuffers(file) ? ERROR_SUCCESS
                                                                                : FailedCallError();
}

// The files of one replacement, and what its steps have learnt.
struct Replacement {
    const wchar_t* replacement;
    const wchar_t* target;
    const wchar_t* backup;
    DWORD attributes = INVALID_FILE_ATTRIBUTES; // the target's, as last read
    bool onlyHeld = true;                       // every failure so far was another process holding a file
};

// The two ways of putting the new file in the old one's place, each tried until it is done or refused past
// its budget.
enum class Way { Swap, Move };

// How trying a way ended.
enum class Step {
    Done,      // the new file is in place
    Refused,   // refused past its budget, not only because another process held a file
    Held,      // refused past its budget, every time because another process held a file
    LeftAlone, // the target is read-only, a directory or a device, which are never replaced
    Halfway,   // the target is not in its place (moved aside, or missing), the new file in its own name
};

// One try of a way: ERROR_SUCCESS, or the error.
DWORD TryOnce(Way way, const Replacement& swap, bool& movedAside) {
    return way == Way::Swap
               ? TrySwap(swap.replacement, swap.target, swap.backup, swap.attributes)
               : TryMove(swap.replacement, swap.target, swap.backup, swap.attributes, movedAside);
}

// Tries a way until it is done or refused past its share of budget; not at all once the deadline has passed.
// The target's attributes are read before each try: a target that is not to be touched ends it, and so does a
// missing one.
Step TryStep(Way way, Replacement& swap, RetryBudget& budget) {
    if (!budget.Fits(1)) {
        return swap.onlyHeld ? Step::Held : Step::Refused; // begun past the deadline, it might not end
    }
    RetryBudget share = budget.Share();
    for (;;) {
        swap.attributes = g_fileCalls.getFileAttributes(swap.target);
        if (swap.attributes != INVALID_FILE_ATTRIBUTES && (swap.attributes & kRefusedAttributes) != 0) {
            return Step::LeftAlone;
        }
        if (swap.attributes == INVALID_FILE_ATTRIBUTES) {
            return Step::Halfway;
        }
        bool movedAside = false;
        const DWORD error = TryOnce(way, swap, movedAside);
        if (error == ERROR_SUCCESS) {
            return Step::Done;
        }
        if (movedAside || Exists(swap.backup) || !Exists(swap.target)) {
            return Step::Halfway;
        }
        swap.onlyHeld = swap.onlyHeld && IsHeld(error);
        const bool passes = way == Way::Swap ? IsSwapPostponed(error) : IsBusy(error);
        if (!passes || !share.Wait()) {
            return swap.onlyHeld ? Step::Held : Step::Refused;
        }
    }
}

} // namespace

bool ResolveReplaceTarget(const char* path, ByteBuffer& target, RetryBudget& budget) {
    target.Clear();
    WideString fullPath;
    if (!ToSystemPath(path, fullPath)) {
        return false;
    }
    RetryBudget share = budget.Share();
    for (;;) {
        // Opened without any access, which no other process's sharing mode refuses, and following a link
        // to the file it leads to.
        const HANDLE file = g_fileCalls.createFile(
            fullPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            // "\\?\C:\games\real.cfg": the final path of the file itself, for a link its target's.
            WideString finalPath;
            const bool resolved = FillWideString(finalPath, [file](wchar_t* buffer, DWORD capacity) {
                return g_fileCalls.getFinalPathNameByHandle(file, buffer, capacity,
                                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            });
            g_fileCalls.closeHandle(file);
            if (resolved) {
                return ToUtf8Path(finalPath.c_str(), target);
            }
            // Some drivers and shares cannot tell the final path. A file that is no link is its own target
            // (the system shows every link as a reparse point); a link that cannot be followed is left.
            return !IsLink(fullPath.c_str()) && ToUtf8Path(fullPath.c_str(), target);
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            break;
        }
        // A file that is there but cannot be told from a link to another one is not replaced: a link
        // would turn into a plain file, and the file it leads to would keep the old settings.
        if (!IsBusy(error) || !share.Wait()) {
            return false;
        }
    }
    // Missing: its own target, unless it is a link that leads nowhere, which is not replaced by a plain
    // file.
    return !IsLink(fullPath.c_str()) && ToUtf8Path(fullPath.c_str(), target);
}

bool ReadLinkDestination(const char* path, ByteBuffer& destination) {
    destination.Clear();
    WideString fullPath;
    if (!ToSystemPath(path, fullPath) || !IsLink(fullPath.c_str())) {
        return false;
    }
    // The link itself, not the file it leads to.
    const HANDLE link = g_fileCalls.createFile(
        fullPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (link == INVALID_HANDLE_VALUE) {
        return false;
    }
    ByteBuffer data;
    DWORD size = 0;
    const bool read = data.Resize(kLongestReparseData) &&
                      g_fileCalls.deviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                                  kLongestReparseData, &size, nullptr);
    g_fileCalls.closeHandle(link);
    WideString name;
    bool relative = false;
    if (!read || !SymbolicLinkName(data.data(), size, name, relative)) {
        return false;
    }
    if (!relative) {
        return ToUtf8Path(name.c_str(), destination);
    }
    // A relative link leads from its own directory: joined to the path as given, which the system makes
    // full, resolving any "..".
    ByteBuffer relativeName;
    WideString fullDestination;
    return ToUtf8Path(name.c_str(), relativeName) && destination.Append(DirectoryOf(path)) &&
           destination.Append(relativeName.view()) && ToSystemPath(destination.c_str(), fullDestination) &&
           ToUtf8Path(fullDestination.c_str(), destination);
}

ReplaceOutcome ReplaceFileDurably(const char* replacement, const char* target, const char* backup,
                                  RetryBudget& budget) {
    // Full paths: the replacement functions refuse relative ones on some systems.
    WideString fullReplacement;
    WideString fullTarget;
    WideString fullBackup;
    if (!ToSystemPath(replacement, fullReplacement) || !ToSystemPath(target, fullTarget) ||
        !ToSystemPath(backup, fullBackup)) {
        return ReplaceOutcome::Unchanged;
    }
    Replacement swap{fullReplacement.c_str(), fullTarget.c_str(), fullBackup.c_str()};
    // 1. The swap, which keeps the old file's security descriptor, streams and attributes.
    Step step = TryStep(Way::Swap, swap, budget);
    // 2. Once the system has refused the swap past its budget (not for a file that another process holds,
    //    which a move would meet too): the two renames, attributes put back.
    if (step == Step::Refused) {
        step = TryStep(Way::Move, swap, budget);
    }
    switch (step) {
    case Step::Done:
        RemoveWithin(swap.backup, budget); // a swap that has ended leaves nothing under the backup's name
        return ReplaceOutcome::Replaced;
    case Step::Halfway:
        return ReplaceOutcome::Halfway;
    case Step::Held:
        return ReplaceOutcome::Held;
    case Step::Refused:
    case Step::LeftAlone:
        break;
    }
    return ReplaceOutcome::Unchanged;
}

bool PutInEmptyPlace(const char* from, const char* to, RetryBudget& budget) {
    WideString fullFrom;
    WideString fullTo;
    return ToSystemPath(from, fullFrom) && ToSystemPath(to, fullTo) &&
           PutInPlace(fullFrom.c_str(), fullTo.c_str(), budget);
}

FileProblem ReplaceRefusal(const char* target) {
    WideString fullTarget;
    if (!ToSystemPath(target, fullTarget)) {
        return FileProblem::Failed;
    }
    const DWORD attributes = g_fileCalls.getFileAttributes(fullTarget.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kRefusedAttributes) == 0) {
        return FileProblem::None;
    }
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? FileProblem::ReadOnly : FileProblem::Failed;
}

bool RenameFile(const char* from, const char* to) {
    WideString fullFrom;
    WideString fullTo;
    return ToSystemPath(from, fullFrom) && ToSystemPath(to, fullTo) &&
           g_fileCalls.moveFileEx(fullFrom.c_str(), fullTo.c_str(), MOVEFILE_WRITE_THROUGH);
}

Presence FileAt(const char* path) {
    WideString fullPath;
    if (!ToSystemPath(path, fullPath)) {
        return Presence::Unknown;
    }
    if (g_fileCalls.getFileAttributes(fullPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return Presence::Present;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Presence::Absent
                                                                          : Presence::Unknown;
}

bool FlushFile(const char* path, RetryBudget& budget) {
    WideString fullPath;
    if (!ToSystemPath(path, fullPath)) {
        return false;
    }
    RetryBudget share = budget.Share();
    for (;;) {
        const DWORD error = FlushToDisk(fullPath.c_str());
        if (error == ERROR_SUCCESS) {
            return true;
        }
        if (!IsBusy(error) || !share.Wait()) {
            return false;
        }
    }
}

void KeepAttributes(const char* from, const char* target) {
    WideString fullFrom;
    WideString fullTarget;
    if (ToSystemPath(from, fullFrom) && ToSystemPath(target, fullTarget)) {
        RestoreAttributes(fullTarget.c_str(), g_fileCalls.getFileAttributes(fullFrom.c_str()));
    }
}

bool OverwriteFileInPlace(const char* target, const char* data, std::size_t size, RetryBudget& budget,
                          FileProblem& problem) {
    WideString fullTarget;
    if (!ToSystemPath(target, fullTarget)) {
        problem = FileProblem::Failed;
        return false;
    }
    RetryBudget share = budget.Share();
    for (;;) {
        const DWORD attributes = g_fileCalls.getFileAttributes(fullTarget.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            problem = FileProblem::Denied;
            return false;
        }
        if ((attributes & kRefusedAttributes) != 0) {
            problem =
                (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? FileProblem::ReadOnly : FileProblem::Failed;
            return false;
        }
        // Others may go on reading the old content until the write; nobody else writes meanwhile.
        const HANDLE file = g_fileCalls.createFile(fullTarget.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const DWORD error = WriteOver(file, data, size);
            g_fileCalls.closeHandle(file);
            problem = error == ERROR_SUCCESS ? FileProblem::None : ProblemOfWriteError(error);
            return error == ERROR_SUCCESS;
        }
        const DWORD error = GetLastError();
        if (!IsBusy(error) || !share.Wait()) {
            problem = ProblemOfWriteError(error);
            return false;
        }
    }
}

bool OverwriteHeldFile(std::intptr_t held, const char* data, std::size_t size, FileProblem& problem) {
    const DWORD error = WriteOver(reinterpret_cast<HANDLE>(held), data, size);
    problem = error == ERROR_SUCCESS ? FileProblem::None : ProblemOfWriteError(error);
    return error == ERROR_SUCCESS;
}

void CloseHeldFile(std::intptr_t held) {
    g_fileCalls.closeHandle(reinterpret_cast<HANDLE>(held));
}

std::FILE* OpenNewFile(const char* path, FileProblem& problem) {
    problem = FileProblem::Failed;
    WideString fullPath;
    if (!ToSystemPath(path, fullPath)) {
        return nullptr;
    }
    _doserrno = ERROR_SUCCESS;
    std::FILE* file = g_fileCalls.openStream(fullPath.c_str(), L"wb");
    // The C runtime keeps the system's own error in _doserrno; its errno says EACCES for many others too
    // (a write-protected or failing device, a sharing violation), which are no refusal.
    problem = file != nullptr ? FileProblem::None : ProblemOfWriteError(static_cast<DWORD>(_doserrno));
    return file;
}

bool RemoveFile(const char* path, RetryBudget& budget) {
    // On the stack: removing the temporary file is what is left to do when memory has run out. Its path is
    // full and in the long form already (it lies beside ResolveReplaceTarget's target), and no path is
    // longer than the system's limit.
    constexpr int kLongestPath = 32768;
    wchar_t widePath[kLongestPath];
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, widePath, kLongestPath) > 0 &&
           RemoveWithin(widePath, budget);
}

LockTry TryLockFile(const char* path, std::intptr_t& handle) {
    handle = kNoLock;
    WideString fullPath;
    if (!ToSystemPath(path, fullPath)) {
        return LockTry::Failed;
    }
    // Opened for reading with reading and writing shared, so that a scanner that opens new files neither
    // stands in the way nor is; the lock is on the first byte, which need not exist.
    const HANDLE file =
        g_fileCalls.createFile(fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // Access denied is read with the name's presence: while the name is there, a lock file being
        // deleted or one another user made; where it is not, a folder that takes no new files.
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) {
            return FileAt(path) == Presence::Absent ? LockTry::Refused : LockTry::Busy;
        }
        return IsHeld(error) ? LockTry::Busy : LockTry::Failed;
    }
    OVERLAPPED at{};
    if (!g_fileCalls.lockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        g_fileCalls.closeHandle(file);
        return IsHeld(error) ? LockTry::Busy : LockTry::Failed;
    }
    handle = reinterpret_cast<std::intptr_t>(file);
    return LockTry::Taken;
}

void UnlockFile(std::intptr_t handle) {
    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    OVERLAPPED at{};
    g_fileCalls.unlockFileEx(file, 0, 1, 0, &at);
    g_fileCalls.closeHandle(file); // which releases the lock, should the unlock have failed
}
