// Reading an input through a POSIX descriptor: large unbuffered reads at
// given offsets move the pixel area in one piece.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.h"

InputOpenResult PlatformOpenInput(const char* path, PlatformHandle* handle, int64_t* fileBytes)
{
    *handle = kNoPlatformHandle;
    if (path == nullptr) {
        return InputOpenResult::CannotOpen;
    }
    // An empty name fails here as a missing file (ENOENT). O_NONBLOCK so that a FIFO is refused
    // instead of waiting for a writer.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno == EISDIR ? InputOpenResult::IsDirectory : InputOpenResult::CannotOpen;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        close(fd);
        return InputOpenResult::CannotOpen;
    }
    if (!S_ISREG(status.st_mode)) {
        close(fd);
        return S_ISDIR(status.st_mode) ? InputOpenResult::IsDirectory
                                       : InputOpenResult::NotRegularFile;
    }
    *handle = fd;
    *fileBytes = status.st_size;
    return InputOpenResult::Opened;
}

bool PlatformReadAt(PlatformHandle handle, int64_t offset, void* buffer, size_t byteCount)
{
    auto* destination = static_cast<unsigned char*>(buffer);
    while (byteCount > 0) {
        ssize_t got = pread(static_cast<int>(handle), destination, byteCount, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        destination += got;
        offset += got;
        byteCount -= static_cast<size_t>(got);
    }
    return true;
}

void PlatformCloseInput(PlatformHandle handle)
{
    if (handle != kNoPlatformHandle) {
        close(static_cast<int>(handle));
    }
}
