#include "durable_file/win/file_calls.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace {

// _wfopen with "x" is not in every C runtime: the exclusive open (CREATE_NEW) comes from _wopen.
std::FILE* OpenNewStream(const wchar_t* name, const wchar_t* mode) {
    const int fd = _wopen(name, _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = _wfdopen(fd, mode);
    if (file == nullptr) {
        _close(fd);
    }
    return file;
}

} // namespace

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
    calls.openStream = OpenNewStream;
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
    calls.lockFileEx = LockFileEx;
    calls.unlockFileEx = UnlockFileEx;
    calls.sleep = Sleep;
    calls.clock = GetTickCount64;
    return calls;
}

FileCalls g_fileCalls = SystemFileCalls();
