#include "replace_file.h"

#include <windows.h>

namespace {

// Up to ten tries, 100 ms apart: at most 0.9 s of waiting for another process to let go of a file.
constexpr int kReplaceAttempts = 10;
constexpr DWORD kRetryPauseMs = 100;

// Moves what the C runtime wrote to the file out of the system's cache onto the disk. Returns
// ERROR_SUCCESS or the error.
DWORD FlushToDisk(const std::string& path) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    const DWORD error = FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return error;
}

// Sharing and access conflicts come from another process holding a file (a scanner looking at the new
// file, an indexer at the old one); they usually pass.
bool IsPassingConflict(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

} // namespace

bool ReplaceFileDurably(const std::string& replacement, const std::string& target) {
    bool flushed = false;
    for (int attempt = 1;; ++attempt) {
        // MoveFileEx does not refuse a read-only target everywhere, so that is checked here; a directory
        // would only give access errors that no waiting cures.
        const DWORD attributes = GetFileAttributesA(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) !=
                0) {
            return false;
        }
        DWORD error = ERROR_SUCCESS;
        if (!flushed) {
            error = FlushToDisk(replacement);
            flushed = error == ERROR_SUCCESS;
        }
        if (flushed) {
            if (MoveFileExA(replacement.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                return true;
            }
            error = GetLastError();
        }
        if (attempt == kReplaceAttempts || !IsPassingConflict(error)) {
            return false;
        }
        Sleep(kRetryPauseMs);
    }
}

unsigned long CurrentProcessId() {
    return GetCurrentProcessId();
}
