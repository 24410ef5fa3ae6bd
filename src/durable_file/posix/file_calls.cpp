#include "durable_file/posix/file_calls.h"

#include <ctime>

namespace {

void SleepMilliseconds(unsigned milliseconds) {
    timespec pause{};
    pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    nanosleep(&pause, nullptr);
}

} // namespace

FileCalls SystemFileCalls() {
    FileCalls calls{};
    calls.openStream = std::fopen;
    calls.writeStream = std::fwrite;
    calls.flushStream = std::fflush;
    calls.closeStream = std::fclose;
    calls.sleep = SleepMilliseconds;
    return calls;
}

FileCalls g_fileCalls = SystemFileCalls();
