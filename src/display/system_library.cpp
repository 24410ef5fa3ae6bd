#include "system_library.h"

#include <string>

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
    char directory[MAX_PATH];
    const UINT length = calls.getSystemDirectory(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::string path(directory, length);
    path += '\\';
    path += fileName;
    return calls.loadLibrary(path.c_str());
}

HMODULE LoadSystemLibrary(const char* fileName) {
    return LoadSystemLibrary(fileName, SystemCallsForLoading());
}
