#include "replace_file.h"

#include <cerrno>

#include <windows.h>

#include "file_calls_win.h"
#include "wide_path_win.h"

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

// Sharing and access conflicts come from another process holding a file (a scanner looking at the new
// file, an indexer at the old one); they usually pass. So does a replaced file that could not be removed
// for the moment, which leaves both files as they were.
bool IsPassingConflict(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

bool IsLink(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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
    CloseHandle(file);
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
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? error : ERROR_SUCCESS;
    }
    CloseHandle(file);
    return ERROR_SUCCESS;
}

// Not every file system keeps the replaced file's attributes: puts back its hidden, system and
// not-indexed bits.
void RestoreAttributes(const wchar_t* target, DWORD old) {
    const DWORD now = GetFileAttributesW(target);
    if (now == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    const DWORD wanted = (now & kSettableAttributes & ~kKeptAttributes) | (old & kKeptAttributes);
    if (wanted != (now & kSettableAttributes)) {
        SetFileAttributesW(target, wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
    }
}

// One try at putting replacement in the place of target, whose attributes are given
// (INVALID_FILE_ATTRIBUTES when it does not exist). Returns ERROR_SUCCESS or the error.
DWORD TryReplace(const wchar_t* replacement, const wchar_t* target, DWORD attributes) {
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // Some implementations of ReplaceFile leave a file of their own in the directory each time they
        // fail on a held file (wine 8.0 does): a held file is found out beforehand instead.
        const DWORD held = HeldByAnotherProcess(target);
        if (held != ERROR_SUCCESS) {
            return held;
        }
        // Swaps the content under the old file's name, security descriptor and alternate streams.
        if (g_fileCalls.replaceFile(target, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                    nullptr)) {
            RestoreAttributes(target, attributes);
            return ERROR_SUCCESS;
        }
        const DWORD error = GetLastError();
        if (IsPassingConflict(error)) {
            return error;
        }
        // Refused outright (a file system without it), or the old file has been moved aside with the new
        // one still under its own name: moving the new one in is what is left.
    }
    if (!g_fileCalls.moveFileEx(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return GetLastError();
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        RestoreAttributes(target, attributes);
    }
    return ERROR_SUCCESS;
}

bool SetLength(HANDLE file, LONGLONG length) {
    LARGE_INTEGER position;
    position.QuadPart = length;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// Writes the whole content over an open file from its start in one write, cuts the file there and
// flushes it.
bool WriteOver(HANDLE file, const char* data, std::size_t size) {
    LARGE_INTEGER oldSize{};
    if (size > MAXDWORD || !GetFileSizeEx(file, &oldSize)) {
        return false;
    }
    const LONGLONG newSize = static_cast<LONGLONG>(size);
    // A file that grows gets its room first: a full disk then shows before any old byte has changed.
    if (newSize > oldSize.QuadPart && !SetLength(file, newSize)) {
        SetLength(file, oldSize.QuadPart);
        return false;
    }
    LARGE_INTEGER start{};
    DWORD written = 0;
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
           g_fileCalls.writeFile(file, data, static_cast<DWORD>(size), &written, nullptr) &&
           written == size && SetEndOfFile(file) && g_fileCalls.flushFileBuffers(file);
}

} // namespace

bool ResolveReplaceTarget(const char* path, ByteBuffer& target) {
    target.Clear();
    WideString fullPath;
    if (!ToSystemPath(path, fullPath)) {
        return false;
    }
    // Opened without any access, which no other process's sharing mode refuses, and following a link to
    // the file it leads to.
    const HANDLE file =
        g_fileCalls.createFile(fullPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        // "\\?\C:\games\real.cfg": the final path of the file itself, for a link its target's.
        WideString finalPath;
        const bool resolved = FillWideString(finalPath, [file](wchar_t* buffer, DWORD capacity) {
            return GetFinalPathNameByHandleW(file, buffer, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        });
        CloseHandle(file);
        if (resolved) {
            return ToUtf8Path(finalPath.c_str(), target);
        }
    }
    // A link that leads nowhere, or one whose target could not be told, is not replaced by a plain file.
    return !IsLink(fullPath.c_str()) && ToUtf8Path(fullPath.c_str(), target);
}

bool ReplaceFileDurably(const char* replacement, const char* target, RetryBudget& budget) {
    // Full paths: the replacement functions refuse relative ones on some systems.
    WideString fullReplacement;
    WideString fullTarget;
    if (!ToSystemPath(replacement, fullReplacement) || !ToSystemPath(target, fullTarget)) {
        return false;
    }
    bool flushed = false;
    for (;;) {
        const DWORD attributes = GetFileAttributesW(fullTarget.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kRefusedAttributes) != 0) {
            return false;
        }
        DWORD error = ERROR_SUCCESS;
        if (!flushed) {
            error = FlushToDisk(fullReplacement.c_str());
            flushed = error == ERROR_SUCCESS;
        }
        if (flushed) {
            error = TryReplace(fullReplacement.c_str(), fullTarget.c_str(), attributes);
            if (error == ERROR_SUCCESS) {
                return true;
            }
        }
        if (!IsPassingConflict(error) || !budget.TakePause()) {
            return false;
        }
        g_fileCalls.sleep(RetryBudget::kPauseMilliseconds);
    }
}

bool OverwriteFileInPlace(const char* target, const char* data, std::size_t size, RetryBudget& budget) {
    WideString fullTarget;
    if (!ToSystemPath(target, fullTarget)) {
        return false;
    }
    for (;;) {
        const DWORD attributes = GetFileAttributesW(fullTarget.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kRefusedAttributes) != 0) {
            return false;
        }
        // Others may go on reading the old content until the write; nobody else writes meanwhile.
        const HANDLE file = g_fileCalls.createFile(fullTarget.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const bool written = WriteOver(file, data, size);
            CloseHandle(file);
            return written;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || !budget.TakePause()) {
            return false;
        }
        g_fileCalls.sleep(RetryBudget::kPauseMilliseconds);
    }
}

std::FILE* OpenTemporaryFile(const char* path) {
    WideString fullPath;
    if (!ToSystemPath(path, fullPath)) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(fullPath.c_str(), L"wb");
}

bool RemoveFile(const char* path) {
    // On the stack: removing the temporary file is what is left to do when memory has run out. Its path is
    // full and in the long form already (it lies beside ResolveReplaceTarget's target), and no path is
    // longer than the system's limit.
    constexpr int kLongestPath = 32768;
    wchar_t widePath[kLongestPath];
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, widePath, kLongestPath) > 0 &&
           g_fileCalls.deleteFile(widePath);
}

unsigned long CurrentProcessId() {
    return GetCurrentProcessId();
}
