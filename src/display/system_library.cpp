#include "display/system_library.h"

#include <cwchar>

SystemLibraryCalls SystemCallsForLoading() {
    SystemLibraryCalls calls{};
    calls.loadLibraryEx = LoadLibraryExW;
    calls.loadLibrary = LoadLibraryW;
    calls.getSystemDirectory = GetSystemDirectoryW;
    return calls;
}

HMODULE LoadSystemLibrary(const wchar_t* fileName, const SystemLibraryCalls& calls) {
    HMODULE module = calls.loadLibraryEx(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    wchar_t path[MAX_PATH];
    const UINT length = calls.getSystemDirectory(path, MAX_PATH);
    const std::size_t nameLength = std::wcslen(fileName);
    if (length == 0 || length >= MAX_PATH || length + 1 + nameLength >= MAX_PATH) {
        return nullptr;
    }
    path[length] = L'\\';
    std::wmemcpy(path + length + 1, fileName, nameLength + 1);
    return calls.loadLibrary(path);
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
    return LoadSystemLibrary(fileName, SystemCallsForLoading());
}
