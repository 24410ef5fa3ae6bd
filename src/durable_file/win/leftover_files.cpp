#include "durable_file/leftover_files.h"

#include <windows.h>

#include "bytes/byte_buffer.h"
#include "durable_file/path_name.h"
#include "durable_file/win/file_calls.h"
#include "durable_file/win/wide_path.h"

namespace {

// When process started, as a count of 100 ns since 1601.
bool StartOf(HANDLE process, std::uint64_t& started) {
    FILETIME creation{};
    FILETIME exit{};
    FILETIME kernel{};
    FILETIME user{};
    if (!g_fileCalls.getProcessTimes(process, &creation, &exit, &kernel, &user)) {
        return false;
    }
    started = (static_cast<std::uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
    return true;
}

} // namespace

bool ListFilesBeside(const char* target, FileVisitor visit, void* context) {
    ByteBuffer pattern;
    WideString widePattern;
    if (!pattern.Append(target) || !pattern.Append(".*") || !ToSystemPath(pattern.c_str(), widePattern)) {
        return false;
    }
    const std::string_view directory = DirectoryOf(target);
    // The standard level, which every Windows version takes; the system matches the pattern itself.
    WIN32_FIND_DATAW entry;
    const HANDLE find = g_fileCalls.findFirstFileEx(widePattern.c_str(), FindExInfoStandard, &entry,
                                                    FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    }
    ByteBuffer name;
    ByteBuffer path;
    do {
        if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
            !ToUtf8Path(entry.cFileName, name)) {
            continue;
        }
        path.Clear();
        if (path.Append(directory) && path.Append(name.view())) {
            const std::uint64_t lastWrite =
                (static_cast<std::uint64_t>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
                entry.ftLastWriteTime.dwLowDateTime;
            visit(context, name.view(), path.view(), lastWrite);
        }
    } while (g_fileCalls.findNextFile(find, &entry));
    g_fileCalls.findClose(find);
    return true;
}

bool CurrentWriter(WriterId& out) {
    out.processId = g_fileCalls.getCurrentProcessId();
    return StartOf(GetCurrentProcess(), out.started);
}

bool MayBeWriting(const WriterId& writer) {
    WriterId self{};
    if (CurrentWriter(self) && self == writer) {
        return false;
    }
    const HANDLE process = g_fileCalls.openProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                                   static_cast<DWORD>(writer.processId));
    if (process == nullptr) {
        // No process has the id; any other refusal (another user's process, say) leaves the doubt.
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    // A process that has ended keeps its id while someone holds a handle to it, but writes nothing more;
    // one that started at another moment is a later holder of the id.
    DWORD exitCode = 0;
    std::uint64_t started = 0;
    const bool mayBe = (!g_fileCalls.getExitCodeProcess(process, &exitCode) || exitCode == STILL_ACTIVE) &&
                       (!StartOf(process, started) || started == writer.started);
    g_fileCalls.closeHandle(process);
    return mayBe;
}
