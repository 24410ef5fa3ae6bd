#include "replace_file.h"

#include <windows.h>

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

// Calls fill(buffer, capacity) until the text fits: fill returns its length without the NUL, the
// capacity it needs when the buffer is too small, or 0 on failure.
template <typename Fill> bool FillPath(ByteBuffer& out, Fill fill) {
    DWORD capacity = MAX_PATH;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!out.Resize(capacity)) {
            return false;
        }
        const DWORD length = fill(out.data(), capacity);
        if (length == 0) {
            return false;
        }
        if (length < capacity) {
            return out.Resize(length);
        }
        capacity = length;
    }
    return false;
}

// The full path of path: the replacement functions refuse relative ones on some systems.
bool FullPath(const char* path, ByteBuffer& full) {
    return FillPath(full, [path](char* buffer, DWORD capacity) {
        return GetFullPathNameA(path, capacity, buffer, nullptr);
    });
}

bool IsLink(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Moves what the C runtime wrote to the file out of the system's cache onto the disk. Returns
// ERROR_SUCCESS or the error.
DWORD FlushToDisk(const char* path) {
    const HANDLE file =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    const DWORD error = FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return error;
}

// Whether another process holds the file in a way that would make replacing it fail: opens it with the
// access a replacement needs. Returns the sharing or lock conflict, or ERROR_SUCCESS.
DWORD HeldByAnotherProcess(const char* path) {
    const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? error : ERROR_SUCCESS;
    }
    CloseHandle(file);
    return ERROR_SUCCESS;
}

// Not every file system keeps the replaced file's attributes: puts back its hidden, system and
// not-indexed bits.
void RestoreAttributes(const char* target, DWORD old) {
    const DWORD now = GetFileAttributesA(target);
    if (now == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    const DWORD wanted = (now & kSettableAttributes & ~kKeptAttributes) | (old & kKeptAttributes);
    if (wanted != (now & kSettableAttributes)) {
        SetFileAttributesA(target, wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
    }
}

// One try at putting replacement in the place of target, whose attributes are given
// (INVALID_FILE_ATTRIBUTES when it does not exist). Returns ERROR_SUCCESS or the error.
DWORD TryReplace(const char* replacement, const char* target, DWORD attributes) {
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // Some implementations of ReplaceFileA leave a file of their own in the directory each time they
        // fail on a held file (wine 8.0 does): a held file is found out beforehand instead.
        const DWORD held = HeldByAnotherProcess(target);
        if (held != ERROR_SUCCESS) {
            return held;
        }
        // Swaps the content under the old file's name, security descriptor and alternate streams.
        if (ReplaceFileA(target, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
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
    if (!MoveFileExA(replacement, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
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
           WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size &&
           SetEndOfFile(file) && FlushFileBuffers(file);
}

} // namespace

bool ResolveReplaceTarget(const char* path, ByteBuffer& target) {
    target.Clear();
    // Opened without any access, which no other process's sharing mode refuses, and following a link to
    // the file it leads to.
    const HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        // "\\?\C:\games\real.cfg": the final path of the file itself, for a link its target's.
        const bool resolved = FillPath(target, [file](char* buffer, DWORD capacity) {
            return GetFinalPathNameByHandleA(file, buffer, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        });
        CloseHandle(file);
        if (resolved) {
            return true;
        }
    }
    // A link that leads nowhere, or one whose target could not be told, is not replaced by a plain file.
    return !IsLink(path) && FullPath(path, target);
}

bool ReplaceFileDurably(const char* replacement, const char* target, RetryBudget& budget) {
    ByteBuffer fullReplacement;
    ByteBuffer fullTarget;
    if (!FullPath(replacement, fullReplacement) || !FullPath(target, fullTarget)) {
        return false;
    }
    bool flushed = false;
    for (;;) {
        const DWORD attributes = GetFileAttributesA(fullTarget.c_str());
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
        Sleep(RetryBudget::kPauseMilliseconds);
    }
}

bool OverwriteFileInPlace(const char* target, const char* data, std::size_t size, RetryBudget& budget) {
    for (;;) {
        const DWORD attributes = GetFileAttributesA(target);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kRefusedAttributes) != 0) {
            return false;
        }
        // Others may go on reading the old content until the write; nobody else writes meanwhile.
        const HANDLE file = CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const bool written = WriteOver(file, data, size);
            CloseHandle(file);
            return written;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || !budget.TakePause()) {
            return false;
        }
        Sleep(RetryBudget::kPauseMilliseconds);
    }
}

unsigned long CurrentProcessId() {
    return GetCurrentProcessId();
}
