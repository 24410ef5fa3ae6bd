#include "durable_file/read_file.h"

#include <windows.h>

#include "durable_file/win/file_calls.h"
#include "durable_file/win/file_problem.h"
#include "durable_file/win/retry_errors.h"
#include "durable_file/win/wide_path.h"

namespace {

// Reads an open file from its start to its end into bytes; returns ERROR_SUCCESS or the error.
DWORD ReadToEnd(HANDLE file, ByteBuffer& bytes) {
    // One allocation for a file that does not grow meanwhile.
    LARGE_INTEGER size{};
    if (g_fileCalls.getFileSizeEx(file, &size) && size.QuadPart > 0 &&
        static_cast<unsigned long long>(size.QuadPart) < static_cast<std::size_t>(-1) &&
        !bytes.Reserve(static_cast<std::size_t>(size.QuadPart))) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    char chunk[16 * 1024];
    for (;;) {
        DWORD count = 0;
        if (!g_fileCalls.readFile(file, chunk, static_cast<DWORD>(sizeof(chunk)), &count, nullptr)) {
            return GetLastError();
        }
        if (count == 0) {
            return ERROR_SUCCESS;
        }
        if (!bytes.Append(std::string_view(chunk, count))) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
    }
}

} // namespace

ReadOutcome ReadWholeFile(const char* path, ByteBuffer& bytes, RetryBudget& budget, FileProblem* problem,
                          std::intptr_t* held) {
    bytes.Clear();
    if (held != nullptr) {
        *held = -1;
    }
    bool alone = held != nullptr;
    WideString widePath;
    if (!ToSystemPath(path, widePath)) {
        if (problem != nullptr) {
            *problem = FileProblem::Failed;
        }
        return ReadOutcome::Failed;
    }
    RetryBudget share = budget.Share();
    for (;;) {
        bytes.Clear();
        // Shared in every way, so that reading never stands in the way of the game or anything else; or,
        // for a save's read that may lead to a write in place, shared in none until that write has ended.
        const HANDLE file =
            alone ? g_fileCalls.createFile(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                  : g_fileCalls.createFile(widePath.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                           nullptr);
        DWORD error;
        if (file == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                return ReadOutcome::Missing;
            }
            if (alone && error == ERROR_ACCESS_DENIED) {
                alone = false; // a read-only file, or one this user may only read: read as it is shared
                continue;
            }
        } else {
            error = ReadToEnd(file, bytes);
            if (error == ERROR_SUCCESS && alone) {
                *held = reinterpret_cast<std::intptr_t>(file);
                return ReadOutcome::Read;
            }
            g_fileCalls.closeHandle(file);
            if (error == ERROR_SUCCESS) {
                return ReadOutcome::Read;
            }
        }
        if (!IsBusy(error) || !share.Wait()) {
            bytes.Clear();
            if (problem != nullptr) {
                *problem = ProblemOfReadError(error);
            }
            return ReadOutcome::Failed;
        }
    }
}
