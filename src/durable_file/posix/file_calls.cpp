#include "durable_file/posix/file_calls.h"

#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Creates the file anew, never over an existing one.
std::FILE* OpenNewStream(const char* name, const char* mode) {
    const int fd = open(name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = fdopen(fd, mode);
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

void SleepMilliseconds(unsigned milliseconds) {
    timespec pause{};
    pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    nanosleep(&pause, nullptr);
}

std::uint64_t MonotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

} // namespace

FileCalls SystemFileCalls() {
    FileCalls calls{};
    calls.openStream = OpenNewStream;
    calls.writeStream = std::fwrite;
    calls.flushStream = std::fflush;
    calls.closeStream = std::fclose;
    calls.sleep = SleepMilliseconds;
    calls.clock = MonotonicMilliseconds;
    return calls;
}

FileCalls g_fileCalls = SystemFileCalls();
