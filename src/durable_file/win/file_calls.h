#pragma once
// Every call to the system that the durable file makes on Windows, gathered in one place so that a test can
// make any of them fail the way the system documents, or answer as another system would; the C runtime's
// stream calls for the temporary file among them. Not in it: the string conversions (MultiByteToWideChar,
// WideCharToMultiByte), which touch no file and fail only on text that is not well formed; GetLastError,
// which reads back what a call (or a double, through SetLastError) left.

#include <cstddef>
#include <cstdio>

#include <windows.h>

// The character of the paths the system's calls take.
using PathChar = wchar_t;

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
    // The new file, written through the C runtime: created anew (never over an existing file) and opened
    // in mode.
    std::FILE* (*openStream)(const wchar_t* name, const wchar_t* mode);
    std::size_t (*writeStream)(const void* data, std::size_t size, std::size_t count, std::FILE* stream);
    int (*flushStream)(std::FILE* stream);
    int (*closeStream)(std::FILE* stream);
    // Names.
    DWORD(WINAPI* getFullPathName)(LPCWSTR name, DWORD capacity, LPWSTR buffer, LPWSTR* filePart);
    DWORD(WINAPI* getFileAttributes)(LPCWSTR name);
    BOOL(WINAPI* setFileAttributes)(LPCWSTR name, DWORD attributes);
    BOOL(WINAPI* replaceFile)
    (LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude, LPVOID reserved);
    BOOL(WINAPI* moveFileEx)(LPCWSTR from, LPCWSTR to, DWORD flags);
    BOOL(WINAPI* copyFile)(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
    BOOL(WINAPI* deleteFile)(LPCWSTR name);
    // The lock of one save at a time.
    BOOL(WINAPI* lockFileEx)
    (HANDLE file, DWORD flags, DWORD reserved, DWORD lengthLow, DWORD lengthHigh, LPOVERLAPPED overlapped);
    BOOL(WINAPI* unlockFileEx)
    (HANDLE file, DWORD reserved, DWORD lengthLow, DWORD lengthHigh, LPOVERLAPPED overlapped);
    // The pause between two tries while another process holds a file, and the clock that says how long
    // the waits and the work have taken (milliseconds since the system started, never set back).
    VOID(WINAPI* sleep)(DWORD milliseconds);
    ULONGLONG(WINAPI* clock)();
};

// The running system's calls.
FileCalls SystemFileCalls();

// The calls the durable file makes: the system's, unless a test has put others in their place.
extern FileCalls g_fileCalls;
