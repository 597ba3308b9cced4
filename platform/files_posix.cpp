// File access through POSIX descriptors: large unbuffered reads and writes
// move the pixel area in one piece. An output is found and replaced relative
// to its folder's descriptor, so no path length limit applies beyond the
// kernel's own for each name.
#include "fault_injection.h"
#include "output_names.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

namespace {

// As many links as the kernel follows in one lookup.
constexpr int kMaxLinksFollowed = 40;
// The longest link text Linux stores, and room for its terminator.
constexpr size_t kLinkTextBytes = 4096;

#if defined(O_PATH)
// Only a lookup base: a folder that may be searched but not listed works.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

int Descriptor(PlatformHandle handle)
{
    return static_cast<int>(handle);
}

// True when an injected fault makes this step fail; sets errno as the
// system call would.
bool FaultFires(FaultPoint point)
{
    if (!FaultInjected(point)) {
        return false;
    }
    errno = point == FaultPoint::Write ? ENOSPC : point == FaultPoint::Unnamed ? EOPNOTSUPP : EIO;
    return true;
}

void CloseDescriptor(PlatformHandle* handle)
{
    if (*handle != kNoPlatformHandle) {
        close(Descriptor(*handle));
        *handle = kNoPlatformHandle;
    }
}

void ReleaseOutput(PlatformOutput* output)
{
    CloseDescriptor(&output->handle);
    if (output->temporaryName != nullptr) {
        unlinkat(Descriptor(output->folder), output->temporaryName, 0);
    }
    CloseDescriptor(&output->folder);
    PlatformRelease(output->targetName);
    PlatformRelease(output->temporaryName);
    *output = PlatformOutput{};
}

// Opens the folder part of `path` (relative to `base`) and copies its last
// name. A path that ends in a folder ("dir/", ".", "..") names no file.
bool OpenFolderOf(int base, const char* path, int* folder, char** name)
{
    const char* slash = std::strrchr(path, '/');
    const char* last = slash == nullptr ? path : slash + 1;
    if (last[0] == 0 || std::strcmp(last, ".") == 0 || std::strcmp(last, "..") == 0) {
        errno = EISDIR;
        return false;
    }
    if (slash == nullptr) {
        *folder = openat(base, ".", kFolderFlags);
    } else {
        size_t folderBytes = slash == path ? 1 : static_cast<size_t>(slash - path);
        char* folderPath = CopyText(path, folderBytes);
        if (folderPath == nullptr) {
            return false;
        }
        *folder = openat(base, folderPath, kFolderFlags);
        PlatformRelease(folderPath);
    }
    if (*folder < 0) {
        return false;
    }
    *name = CopyText(last, std::strlen(last));
    if (*name == nullptr) {
        close(*folder);
        return false;
    }
    return true;
}

// Follows symbolic links, dangling ones too, to the name that finally holds
// the file, and opens that name's folder: the temporary lives there, and a
// link stays a link.
bool FindTarget(const char* path, PlatformOutput* output)
{
    char* linkText = static_cast<char*>(PlatformAllocate(kLinkTextBytes));
    if (linkText == nullptr) {
        return false;
    }
    int base = AT_FDCWD;
    const char* next = path;
    bool found = false;
    for (int links = 0; links <= kMaxLinksFollowed; ++links) {
        int folder = -1;
        char* name = nullptr;
        bool opened = OpenFolderOf(base, next, &folder, &name);
        if (base != AT_FDCWD) {
            close(base);
        }
        base = AT_FDCWD;
        if (!opened) {
            break;
        }
        struct stat status {};
        bool isLink =
            fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
        ssize_t textBytes =
            isLink ? readlinkat(folder, name, linkText, kLinkTextBytes - 1) : ssize_t{0};
        if (!isLink || textBytes <= 0) {
            // Not a link (or gone): whether it exists is for the open to say.
            output->folder = folder;
            output->targetName = name;
            found = true;
            break;
        }
        PlatformRelease(name);
        linkText[textBytes] = 0;
        // A relative link is read from the link's own folder.
        base = folder;
        next = linkText;
    }
    if (base != AT_FDCWD) {
        close(base);
    }
    PlatformRelease(linkText);
    return found;
}

// A temporary's name; the process and the time keep processes apart.
void NewTemporaryName(char (&name)[kTemporaryNameBytes])
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    ::TemporaryName(name, (static_cast<uint64_t>(getpid()) << 32) ^
                              static_cast<uint64_t>(now.tv_nsec) ^
                              (static_cast<uint64_t>(now.tv_sec) << 20));
}

// A named temporary in the output's folder, for file systems that cannot
// make unnamed ones.
int CreateNamedTemporary(PlatformOutput* output, mode_t mode)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[kTemporaryNameBytes];
        NewTemporaryName(name);
        int fd =
            openat(Descriptor(output->folder), name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            output->temporaryName = CopyText(name, std::strlen(name));
            if (output->temporaryName == nullptr) {
                unlinkat(Descriptor(output->folder), name, 0);
                close(fd);
                return -1;
            }
            return fd;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return -1;
}

// The temporary that will hold the image. On Linux it has no name until it
// is complete, so a process killed while writing leaves nothing behind.
int CreateTemporary(PlatformOutput* output, mode_t mode)
{
#if defined(O_TMPFILE)
    // Naming it later goes through /proc; without /proc, use a named one.
    if (access("/proc/self/fd", X_OK) == 0) {
        int fd = FaultFires(FaultPoint::Unnamed) ? -1
                                                 : openat(Descriptor(output->folder), ".",
                                                          O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            output->unnamedTemporary = true;
            return fd;
        }
        // Older kernels and some file systems refuse O_TMPFILE with one of
        // these; anything else is the folder's own answer.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return -1;
        }
    }
#endif
    return CreateNamedTemporary(output, mode);
}

// A rename keeps the output the same file to its users only when nothing
// else names it and the new file can have its owner, group and mode.
bool MayReplaceByRename(int target, const struct stat& status)
{
    if (status.st_nlink != 1) {
        return false;  // the other names would keep the old image
    }
#if defined(__linux__)
    // An access control list would not be carried over.
    if (fgetxattr(target, "system.posix_acl_access", nullptr, 0) >= 0) {
        return false;
    }
#else
    (void)target;
#endif
    return true;
}

// Gives the temporary the existing file's owner, group and mode. Set-ID bits
// are copied only because owner and group were kept (chown clears them).
bool TakeOverOwnerAndMode(int temporary, const struct stat& status)
{
    return fchown(temporary, status.st_uid, status.st_gid) == 0 &&
           fchmod(temporary, status.st_mode & 07777) == 0;
}

bool IsRefusalOfTheFolder(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// The existing regular file `target` is replaced through a temporary when
// that keeps it the same file, and otherwise rewritten in place.
bool BeginReplacing(int target, const struct stat& status, PlatformOutput* output)
{
    output->replacesExisting = true;
    if (MayReplaceByRename(target, status)) {
        int temporary = CreateTemporary(output, status.st_mode & 0777);
        if (temporary >= 0 && TakeOverOwnerAndMode(temporary, status)) {
            close(target);
            output->handle = temporary;
            return true;
        }
        int error = errno;
        if (temporary >= 0) {
            close(temporary);
            if (output->temporaryName != nullptr) {
                unlinkat(Descriptor(output->folder), output->temporaryName, 0);
                PlatformRelease(output->temporaryName);
                output->temporaryName = nullptr;
            }
            output->unnamedTemporary = false;
        } else if (!IsRefusalOfTheFolder(error)) {
            // A full disk or a failing one: rewriting in place would lose
            // the old image as well.
            close(target);
            return false;
        }
    }
    // In place, as "wb" would: the folder and its other names are untouched.
    CloseDescriptor(&output->folder);
    if (FaultFires(FaultPoint::Truncate) || ftruncate(target, 0) != 0) {
        close(target);
        return false;
    }
    output->handle = target;
    return true;
}

// Gives an unnamed temporary a name in the output's folder, to rename it.
bool NameTemporary(PlatformOutput* output, int temporary)
{
    char procPath[48];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", temporary);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[kTemporaryNameBytes];
        NewTemporaryName(name);
        if (FaultFires(FaultPoint::Link)) {
            return false;
        }
        if (linkat(AT_FDCWD, procPath, Descriptor(output->folder), name, AT_SYMLINK_FOLLOW) == 0) {
            output->temporaryName = CopyText(name, std::strlen(name));
            if (output->temporaryName == nullptr) {
                unlinkat(Descriptor(output->folder), name, 0);
                return false;
            }
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
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
    if (path == nullptr || path[0] == 0 || !FindTarget(path, output)) {
        return false;
    }
    // Opened as the caller, without truncating: a file "wb" could not open
    // is refused here, before anything changes. O_NONBLOCK so that a FIFO
    // with no reader is refused instead of waited for.
    int target = openat(Descriptor(output->folder), output->targetName,
                        O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (target < 0) {
        if (errno != ENOENT) {
            ReleaseOutput(output);
            return false;
        }
        int temporary = CreateTemporary(output, 0666);
        if (temporary < 0) {
            ReleaseOutput(output);
            return false;
        }
        output->handle = temporary;
        return true;
    }
    struct stat status {};
    int flags = fcntl(target, F_GETFL);
    if (fstat(target, &status) != 0 || flags < 0 ||
        fcntl(target, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(target);
        ReleaseOutput(output);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        // A FIFO or a device cannot be renamed over: written straight
        // through.
        CloseDescriptor(&output->folder);
        output->handle = target;
        return true;
    }
    if (!BeginReplacing(target, status, output)) {
        ReleaseOutput(output);
        return false;
    }
    return true;
}

bool PlatformWrite(PlatformOutput* output, const void* bytes, size_t byteCount)
{
    const auto* source = static_cast<const unsigned char*>(bytes);
    while (byteCount > 0) {
        // Linux moves at most about 2 GiB per call; larger requests come
        // back short and the loop carries on. A reader that went away
        // (EPIPE) and a file-size limit (EFBIG) fail here when the host
        // ignores their signals.
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
    // Replacing an existing image: its bytes must be on disk before the
    // rename, or a crash could leave an empty file where the image was.
    bool good = !(output->replacesExisting && (FaultFires(FaultPoint::Sync) || fsync(fd) != 0));
    if (good && output->unnamedTemporary) {
        good = NameTemporary(output, fd);
    }
    // A failed close has still released the descriptor.
    output->handle = kNoPlatformHandle;
    good = (close(fd) == 0) && !FaultFires(FaultPoint::Close) && good;
    if (good && output->temporaryName != nullptr) {
        int folder = Descriptor(output->folder);
        good = !FaultFires(FaultPoint::Rename) &&
               renameat(folder, output->temporaryName, folder, output->targetName) == 0;
        if (good) {
            PlatformRelease(output->temporaryName);
            output->temporaryName = nullptr;
        }
    }
    ReleaseOutput(output);
    return good;
}

void PlatformAbandonOutput(PlatformOutput* output)
{
    ReleaseOutput(output);
}
