#include "app/dll_search.h"

#include <windows.h>

void RestrictDllSearchToSystemDirectory() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD directoryFlags);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC entry = kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (entry != nullptr) {
        const auto setDefaultDllDirectories =
            reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(entry));
        if (setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
            return;
        }
    }
    SetDllDirectoryA("");
}
