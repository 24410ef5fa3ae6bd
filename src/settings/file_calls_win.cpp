#include "file_calls_win.h"

#include "retry_budget.h"

FileCalls SystemFileCalls() {
    FileCalls calls{};
    calls.createFile = CreateFileW;
    calls.writeFile = WriteFile;
    calls.flushFileBuffers = FlushFileBuffers;
    calls.replaceFile = ReplaceFileW;
    calls.moveFileEx = MoveFileExW;
    calls.copyFile = CopyFileW;
    calls.deleteFile = DeleteFileW;
    calls.sleep = Sleep;
    return calls;
}

FileCalls g_fileCalls = SystemFileCalls();

void PauseBeforeRetry() {
    g_fileCalls.sleep(RetryBudget::kPauseMilliseconds);
}
