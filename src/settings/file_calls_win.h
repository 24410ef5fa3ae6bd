#pragma once
// The Win32 file calls that reading and rewriting config.cfg make, gathered in one place so that a test can
// make any of them fail the way the system documents. The product always runs with the system's own.

#include <windows.h>

struct FileCalls {
    HANDLE(WINAPI* createFile)
    (LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
     HANDLE templateFile);
    BOOL(WINAPI* writeFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL(WINAPI* flushFileBuffers)(HANDLE file);
    BOOL(WINAPI* replaceFile)
    (LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude, LPVOID reserved);
    BOOL(WINAPI* moveFileEx)(LPCWSTR from, LPCWSTR to, DWORD flags);
    BOOL(WINAPI* copyFile)(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
    BOOL(WINAPI* deleteFile)(LPCWSTR name);
    // The pause between two tries while another process holds a file.
    VOID(WINAPI* sleep)(DWORD milliseconds);
};

// The running system's calls.
FileCalls SystemFileCalls();

// The calls the settings code makes: the system's, unless a test has put others in their place.
extern FileCalls g_fileCalls;

// One pause before a file that another process holds is tried again.
void PauseBeforeRetry();
