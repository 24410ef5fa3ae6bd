#include "durable_file/win/file_calls.h"

FileCalls SystemFileCalls() {
    FileCalls calls{};
    calls.createFile = CreateFileW;
    calls.readFile = ReadFile;
    calls.writeFile = WriteFile;
    calls.flushFileBuffers = FlushFileBuffers;
    calls.getFileSizeEx = GetFileSizeEx;
    calls.setFilePointerEx = SetFilePointerEx;
    calls.setEndOfFile = SetEndOfFile;
    calls.closeHandle = CloseHandle;
    calls.getFinalPathNameByHandle = GetFinalPathNameByHandleW;
    calls.deviceIoControl = DeviceIoControl;
    calls.openStream = _wfopen;
    calls.writeStream = std::fwrite;
    calls.flushStream = std::fflush;
    calls.closeStream = std::fclose;
    calls.getFullPathName = GetFullPathNameW;
    calls.getFileAttributes = GetFileAttributesW;
    calls.setFileAttributes = SetFileAttributesW;
    calls.replaceFile = ReplaceFileW;
    calls.moveFileEx = MoveFileExW;
    calls.copyFile = CopyFileW;
    calls.deleteFile = DeleteFileW;
    calls.findFirstFileEx = FindFirstFileExW;
    calls.findNextFile = FindNextFileW;
    calls.findClose = FindClose;
    calls.getCurrentProcessId = GetCurrentProcessId;
    calls.openProcess = OpenProcess;
    calls.getExitCodeProcess = GetExitCodeProcess;
    calls.getProcessTimes = GetProcessTimes;
    calls.sleep = Sleep;
    return calls;
}

FileCalls g_fileCalls = SystemFileCalls();
