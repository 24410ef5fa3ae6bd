#pragma once
// Every Win32 call that reading, rewriting and putting back config.cfg makes, gathered in one place so that
// a test can make any of them fail the way the system documents, or answer as another system would. The
// product always runs with the system's own.

#include <windows.h>

struct FileCalls {
    // Opening, reading and writing a file.
    HANDLE(WINAPI* createFile)
    (LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
     HANDLE templateFile);
    BOOL(WINAPI* readFile)(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);
    BOOL(WINAPI* writeFile)(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL(WINAPI* flushFileBuffers)(HANDLE file);
    BOOL(WINAPI* getFileSizeEx)(HANDLE file, PLARGE_INTEGER size);
    BOOL(WINAPI* setFilePointerEx)
    (HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER position, DWORD method);
    BOOL(WINAPI* setEndOfFile)(HANDLE file);
    BOOL(WINAPI* closeHandle)(HANDLE handle);
    // Where a handle's file really lies, and what a link holds.
    DWORD(WINAPI* getFinalPathNameByHandle)(HANDLE file, LPWSTR path, DWORD capacity, DWORD flags);
    BOOL(WINAPI* deviceIoControl)
    (HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
     LPOVERLAPPED overlapped);
    // Names.
    DWORD(WINAPI* getFileAttributes)(LPCWSTR name);
    BOOL(WINAPI* setFileAttributes)(LPCWSTR name, DWORD attributes);
    BOOL(WINAPI* replaceFile)
    (LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude, LPVOID reserved);
    BOOL(WINAPI* moveFileEx)(LPCWSTR from, LPCWSTR to, DWORD flags);
    BOOL(WINAPI* copyFile)(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
    BOOL(WINAPI* deleteFile)(LPCWSTR name);
    HANDLE(WINAPI* findFirstFileEx)
    (LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID data, FINDEX_SEARCH_OPS search, LPVOID filter,
     DWORD flags);
    BOOL(WINAPI* findNextFile)(HANDLE find, LPWIN32_FIND_DATAW data);
    BOOL(WINAPI* findClose)(HANDLE find);
    // Processes: whose files an unfinished save left.
    DWORD(WINAPI* getCurrentProcessId)();
    HANDLE(WINAPI* openProcess)(DWORD access, BOOL inherit, DWORD processId);
    BOOL(WINAPI* getExitCodeProcess)(HANDLE process, LPDWORD code);
    BOOL(WINAPI* queryFullProcessImageName)(HANDLE process, DWORD flags, LPWSTR name, PDWORD size);
    // The pause between two tries while another process holds a file.
    VOID(WINAPI* sleep)(DWORD milliseconds);
};

// The running system's calls.
FileCalls SystemFileCalls();

// The calls the settings code makes: the system's, unless a test has put others in their place.
extern FileCalls g_fileCalls;

// One pause before a file that another process holds is tried again.
void PauseBeforeRetry();
