#pragma once
// Loading a DLL from the Windows system directory only, so that a DLL of the same name in the program's
// folder or the working directory (an overlay, a wrapper) is never picked up instead. Names and paths are
// UTF-16: the system directory may have a name that the ANSI code page cannot spell.

#include <windows.h>

// The system calls LoadSystemLibrary makes; tests replace them.
struct SystemLibraryCalls {
    HMODULE(WINAPI* loadLibraryEx)(LPCWSTR fileName, HANDLE reserved, DWORD flags);
    HMODULE(WINAPI* loadLibrary)(LPCWSTR path);
    UINT(WINAPI* getSystemDirectory)(LPWSTR buffer, UINT size);
};

// The running system's calls.
SystemLibraryCalls SystemCallsForLoading();

// Loads fileName with LOAD_LIBRARY_SEARCH_SYSTEM32. A system that does not know that flag refuses the
// call with ERROR_INVALID_PARAMETER: the file is then loaded by its full path in the system directory.
// Returns null when the DLL cannot be loaded (or the system directory cannot be had).
HMODULE LoadSystemLibrary(const wchar_t* fileName, const SystemLibraryCalls& calls);
HMODULE LoadSystemLibrary(const wchar_t* fileName);
