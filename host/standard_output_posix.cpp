#include "standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kExitFailure = 1;
// Large enough for --help and --about whole, so that stdio writes them only
// when flushed, and the flush's errno is the write's.
constexpr size_t kStdioBufferBytes = 1 << 16;

// The errno of the first write to standard output that failed, or 0.
constinit int firstWriteError = 0;

}  // namespace

void KeepStandardStreamsOpen()
{
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) < 0 && errno == EBADF) {
            // Opened for reading, /dev/null fails every write with EBADF.
            int mode = descriptor == STDERR_FILENO ? O_WRONLY : O_RDONLY;
            int null = open("/dev/null", mode);
            if (null >= 0 && null != descriptor) {
                dup2(null, descriptor);
                close(null);
            }
        }
    }
    std::setvbuf(stdout, nullptr, _IOFBF, kStdioBufferBytes);
}

bool StandardOutputIsWritable()
{
    int flags = fcntl(STDOUT_FILENO, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
}

void WriteStandardOutput(const char* bytes, size_t count)
{
    while (count > 0 && firstWriteError == 0) {
        ssize_t written = write(STDOUT_FILENO, bytes, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            firstWriteError = written < 0 ? errno : EIO;
            return;
        }
        bytes += written;
        count -= static_cast<size_t>(written);
    }
}

void FlushStandardOutput()
{
    if (std::fflush(stdout) != 0 && firstWriteError == 0) {
        firstWriteError = errno;
    }
    if (firstWriteError == 0 && std::ferror(stdout) != 0) {
        firstWriteError = EIO;
    }
}

int FinishStandardOutput(int status)
{
    FlushStandardOutput();
    if (firstWriteError != 0) {
        std::fprintf(stderr, "pavonize: write error: %s\n", std::strerror(firstWriteError));
        return kExitFailure;
    }
    return status;
}
