#include "durable_file/leftover_files.h"

#include <windows.h>

#include "bytes/byte_buffer.h"
#include "durable_file/path_name.h"
#include "durable_file/win/file_calls.h"
#include "durable_file/win/wide_path.h"

namespace {

// The longest name QueryFullProcessImageNameW can give, in UTF-16 units.
constexpr DWORD kLongestImageName = 32768;

// The file name at the end of a path.
const wchar_t* FileNameAt(const wchar_t* path) {
    return path + FileNameStart(std::wstring_view(path));
}

// The full path of the program that runs as process, in image.
bool ImageOf(HANDLE process, WideString& image) {
    if (!image.Resize(kLongestImageName)) {
        return false;
    }
    DWORD size = kLongestImageName;
    return g_fileCalls.queryFullProcessImageName(process, 0, image.data(), &size) && image.Resize(size);
}

bool IsThisProgram(const wchar_t* image) {
    WideString own;
    const bool known = FillWideString(own, [](wchar_t* buffer, DWORD capacity) {
        const DWORD length = g_fileCalls.getModuleFileName(nullptr, buffer, capacity);
        return length < capacity ? length : capacity * 2;
    });
    // Another program, or in doubt: the same one.
    return !known ||
           CompareStringOrdinal(FileNameAt(image), -1, FileNameAt(own.c_str()), -1, TRUE) == CSTR_EQUAL;
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

bool MayBeWriting(unsigned long processId) {
    if (processId == g_fileCalls.getCurrentProcessId()) {
        return false;
    }
    const HANDLE process =
        g_fileCalls.openProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr) {
        // No process has the id; any other refusal (another user's process, say) leaves the doubt.
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    // A process that has ended keeps its id while someone holds a handle to it, but writes nothing more.
    DWORD exitCode = 0;
    bool mayBe = !g_fileCalls.getExitCodeProcess(process, &exitCode) || exitCode == STILL_ACTIVE;
    if (mayBe) {
        WideString image;
        mayBe = !ImageOf(process, image) || IsThisProgram(image.c_str());
    }
    g_fileCalls.closeHandle(process);
    return mayBe;
}
