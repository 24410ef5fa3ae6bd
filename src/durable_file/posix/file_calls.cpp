#include "durable_file/posix/file_calls.h"

#include <ctime>

#include "durable_file/retry_budget.h"

FileCalls SystemFileCalls() {
    FileCalls calls{};
    calls.openStream = std::fopen;
    calls.writeStream = std::fwrite;
    calls.flushStream = std::fflush;
    calls.closeStream = std::fclose;
    return calls;
}

FileCalls g_fileCalls = SystemFileCalls();

bool RetryBudget::Wait() {
    if (pausesLeft == 0) {
        return false;
    }
    --pausesLeft;
    timespec pause{};
    pause.tv_nsec = static_cast<long>(kPauseMilliseconds) * 1000000L;
    nanosleep(&pause, nullptr);
    return true;
}
