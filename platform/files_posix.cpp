// File access through POSIX descriptors: large unbuffered reads and writes
// move the pixel area in one piece, and the output is replaced atomically.
#include "platform.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Descriptor(PlatformHandle handle)
{
    return static_cast<int>(handle);
}

// Tells temporary files of one process apart when a host saves several.
std::atomic<unsigned> temporaryCounter{0};

// The armed fault, if any: its point and how many more times that point is
// reached before it fails.
std::atomic<FaultPoint> faultPoint{FaultPoint::Write};
std::atomic<int> faultCountdown{0};

// True when an injected fault makes this step fail; sets errno as the
// system call would.
bool FaultFires(FaultPoint point)
{
    if (faultCountdown.load() == 0 || faultPoint.load() != point) {
        return false;
    }
    if (faultCountdown.fetch_sub(1) != 1) {
        return false;
    }
    errno = point == FaultPoint::Write ? ENOSPC : EIO;
    return true;
}

char* CopyString(const char* text)
{
    size_t bytes = std::strlen(text) + 1;
    char* copy = static_cast<char*>(PlatformAllocate(bytes));
    if (copy != nullptr) {
        std::memcpy(copy, text, bytes);
    }
    return copy;
}

void ReleaseOutputPaths(PlatformOutput* output)
{
    PlatformRelease(output->temporaryPath);
    PlatformRelease(output->targetPath);
    output->temporaryPath = nullptr;
    output->targetPath = nullptr;
}

// Creates "<target>.<pid>-<n>.tmp" beside the target, so the final rename
// never crosses a file system. `mode` is the target's permission bits.
bool CreateTemporaryBeside(const char* target, mode_t mode, PlatformOutput* output)
{
    size_t bytes = std::strlen(target) + 48;
    char* temporary = static_cast<char*>(PlatformAllocate(bytes));
    if (temporary == nullptr) {
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::snprintf(temporary, bytes, "%s.%ld-%u.tmp", target, static_cast<long>(getpid()),
                      temporaryCounter.fetch_add(1));
        int fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            // O_CREAT applies the umask; an existing target's bits are kept
            // exactly.
            if (output->replacesExisting) {
                fchmod(fd, mode);
            }
            output->handle = fd;
            output->temporaryPath = temporary;
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    PlatformRelease(temporary);
    return false;
}

}  // namespace

InputOpenResult PlatformOpenInput(const char* path, PlatformHandle* handle, int64_t* fileBytes)
{
    *handle = kNoPlatformHandle;
    if (path == nullptr || path[0] == 0) {
        return InputOpenResult::CannotOpen;
    }
    // O_NONBLOCK so that a FIFO is refused instead of waiting for a writer.
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
        ssize_t got = pread(Descriptor(handle), destination, byteCount, offset);
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
        close(Descriptor(handle));
    }
}

bool PlatformBeginOutput(const char* path, PlatformOutput* output)
{
    *output = PlatformOutput{};
    if (path == nullptr || path[0] == 0) {
        return false;
    }
    struct stat status {};
    bool exists = stat(path, &status) == 0;  // follows a symbolic link
    if (exists && S_ISDIR(status.st_mode)) {
        return false;
    }
    if (exists && !S_ISREG(status.st_mode)) {
        // A FIFO or a device cannot be renamed over: write straight through.
        int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        output->handle = fd;
        return true;
    }
    // The temporary goes beside the file the path finally names, so that a
    // symbolic link stays a link and its target is what gets replaced.
    char* target = nullptr;
    if (exists) {
        target = realpath(path, nullptr);
        if (target != nullptr) {
            char* copy = CopyString(target);
            std::free(target);
            target = copy;
        }
    } else {
        struct stat linkStatus {};
        if (lstat(path, &linkStatus) == 0) {
            // A dangling link: let the open create what it points to.
            int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (fd < 0) {
                return false;
            }
            output->handle = fd;
            return true;
        }
        target = CopyString(path);
    }
    if (target == nullptr) {
        return false;
    }
    output->targetPath = target;
    output->replacesExisting = exists;
    mode_t mode = exists ? (status.st_mode & 07777) : 0666;
    if (!CreateTemporaryBeside(target, mode, output)) {
        ReleaseOutputPaths(output);
        return false;
    }
    return true;
}

bool PlatformWrite(PlatformOutput* output, const void* bytes, size_t byteCount)
{
    const auto* source = static_cast<const unsigned char*>(bytes);
    while (byteCount > 0) {
        // Linux moves at most about 2 GiB per call; larger requests come
        // back short and the loop carries on.
        ssize_t written = FaultFires(FaultPoint::Write)
                              ? -1
                              : write(Descriptor(output->handle), source, byteCount);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        source += written;
        byteCount -= static_cast<size_t>(written);
    }
    return true;
}

bool PlatformFinishOutput(PlatformOutput* output)
{
    int fd = Descriptor(output->handle);
    output->handle = kNoPlatformHandle;
    // Replacing an existing image: its bytes must be on disk before the
    // rename, or a crash could leave an empty file where the image was.
    bool good = !(output->temporaryPath != nullptr && output->replacesExisting &&
                  (FaultFires(FaultPoint::Sync) || fsync(fd) != 0));
    // A failed close has still released the descriptor.
    good = (close(fd) == 0) && !FaultFires(FaultPoint::Close) && good;
    if (output->temporaryPath != nullptr) {
        good = good && !FaultFires(FaultPoint::Rename) &&
               rename(output->temporaryPath, output->targetPath) == 0;
        if (!good) {
            unlink(output->temporaryPath);
        }
    }
    ReleaseOutputPaths(output);
    return good;
}

void PlatformAbandonOutput(PlatformOutput* output)
{
    if (output->handle != kNoPlatformHandle) {
        close(Descriptor(output->handle));
        output->handle = kNoPlatformHandle;
    }
    if (output->temporaryPath != nullptr) {
        unlink(output->temporaryPath);
    }
    ReleaseOutputPaths(output);
}

void PlatformInjectFault(FaultPoint point, int occurrence)
{
    faultCountdown.store(0);
    faultPoint.store(point);
    faultCountdown.store(occurrence > 0 ? occurrence : 0);
}
