// A DLL that the end-to-end tests plant in the launcher's working directory under the name of a system
// DLL. Being loaded leaves a mark: the loading program's path, appended as a line to planted-dll-loaded.txt
// in the working directory. It then refuses to stay, so the loader carries on as if it had found nothing.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    char program[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    const HANDLE marker =
        CreateFileA("planted-dll-loaded.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(marker, program, length, &written, nullptr);
        WriteFile(marker, "\r\n", 2, &written, nullptr);
        CloseHandle(marker);
    }
    return FALSE;
}
