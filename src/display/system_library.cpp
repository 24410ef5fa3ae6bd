#include "system_library.h"

#include <cstring>

SystemLibraryCalls SystemCallsForLoading() {
    SystemLibraryCalls calls{};
    calls.loadLibraryEx = LoadLibraryExA;
    calls.loadLibrary = LoadLibraryA;
    calls.getSystemDirectory = GetSystemDirectoryA;
    return calls;
}

HMODULE LoadSystemLibrary(const char* fileName, const SystemLibraryCalls& calls) {
    HMODULE module = calls.loadLibraryEx(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    char path[MAX_PATH];
    const UINT length = calls.getSystemDirectory(path, MAX_PATH);
    const std::size_t nameLength = std::strlen(fileName);
    if (length == 0 || length >= MAX_PATH || length + 1 + nameLength >= MAX_PATH) {
        return nullptr;
    }
    path[length] = '\\';
    std::memcpy(path + length + 1, fileName, nameLength + 1);
    return calls.loadLibrary(path);
}

HMODULE LoadSystemLibrary(const char* fileName) {
    return LoadSystemLibrary(fileName, SystemCallsForLoading());
}
