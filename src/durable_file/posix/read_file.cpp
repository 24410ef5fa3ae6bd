#include "durable_file/read_file.h"

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>

ReadOutcome ReadWholeFile(const char* path, ByteBuffer& bytes, RetryBudget&, FileProblem* problem,
                          std::intptr_t* held) {
    bytes.Clear();
    if (held != nullptr) {
        *held = -1; // no sharing modes here: the save's lock keeps other launchers out
    }
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr && errno == ENOENT) {
        return ReadOutcome::Missing;
    }
    if (file == nullptr) {
        if (problem != nullptr) {
            *problem = FileProblem::Unreadable;
        }
        return ReadOutcome::Failed;
    }
    // One allocation for a file that does not grow meanwhile.
    struct stat status {};
    if (fstat(fileno(file), &status) == 0 && status.st_size > 0 &&
        static_cast<unsigned long long>(status.st_size) < static_cast<std::size_t>(-1)) {
        bytes.Reserve(static_cast<std::size_t>(status.st_size));
    }
    char chunk[16 * 1024];
    std::size_t count;
    while (!bytes.Failed() && (count = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        bytes.Append(std::string_view(chunk, count));
    }
    const bool failed = bytes.Failed() || std::ferror(file) != 0;
    std::fclose(file);
    if (failed && problem != nullptr) {
        *problem = bytes.Failed() ? FileProblem::Failed : FileProblem::Unreadable; // a folder, say
    }
    return failed ? ReadOutcome::Failed : ReadOutcome::Read;
}
