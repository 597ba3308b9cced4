// Writing an output through POSIX descriptors. The output is found and
// replaced relative to its folder's descriptor (output_path_posix.h), so no
// path length limit applies beyond the kernel's own for each name. A new
// file or a replacement is written to a temporary in that folder; a file
// that a new one could not stand in for is written over in place, after
// its space is reserved, and cut to length last.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fault_injection.h"
#include "file_attributes.h"
#include "output_names.h"
#include "output_path_posix.h"
#include "output_steps.h"
#include "platform.h"
#include "temporary_file_posix.h"

namespace {

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
    bool full = point == FaultPoint::Write || point == FaultPoint::Reserve;
    errno = full ? ENOSPC : point == FaultPoint::Unnamed ? EOPNOTSUPP : EIO;
    return true;
}

void CloseDescriptor(PlatformHandle* handle)
{
    if (*handle != kNoPlatformHandle) {
        close(Descriptor(*handle));
        *handle = kNoPlatformHandle;
    }
}

// Gives the temporary the replaced file's owner, group and mode, then its
// extended attributes. Set-ID bits are copied only because owner and group
// were kept (chown clears them), and attributes last, as chown clears file
// capabilities too.
bool GiveOwnerModeAndAttributes(int temporary, int replaced)
{
    struct stat status {};
    return fstat(replaced, &status) == 0 && fchown(temporary, status.st_uid, status.st_gid) == 0 &&
           fchmod(temporary, status.st_mode & 07777) == 0 &&
           CopyExtendedAttributes(replaced, temporary);
}

// In place, as "wb" would, but nothing is cut until the image is written:
// the folder and the other names are untouched.
void RewriteInPlace(int target, PlatformOutput* output)
{
    CloseDescriptor(&output->folder);
    output->handle = target;
    output->route = OutputRoute::InPlace;
}

bool IsRefusalOfTheFolder(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

// The existing regular file `target` is replaced through a temporary when
// that keeps it the same file to its users, and otherwise rewritten in
// place. A second name would keep the old image after a rename. What the
// file carries is given to the empty temporary as a trial, which decides
// the route and is the only time some inode flags can be given; writing
// clears capabilities and set-ID bits again, so the end of the save gives
// them once more.
bool BeginReplacing(int target, const struct stat& status, PlatformOutput* output)
{
    if (status.st_nlink == 1) {
        int temporary = CreateTemporary(output, status.st_mode & 0777);
        if (temporary >= 0 && GiveOwnerModeAndAttributes(temporary, target) &&
            CopyInodeFlags(target, temporary)) {
            output->replaced = target;
            output->handle = temporary;
            output->route = OutputRoute::Replacement;
            return true;
        }
        int error = errno;
        if (temporary >= 0) {
            close(temporary);
            RemoveTemporaryName(output);
            output->unnamedTemporary = false;
        } else if (!IsRefusalOfTheFolder(error)) {
            // A full disk or a failing one: rewriting in place would lose
            // the old image as well.
            close(target);
            return false;
        }
    }
    RewriteInPlace(target, output);
    return true;
}

}  // namespace

void ReleaseOutput(PlatformOutput* output)
{
    // The reason of the failure that led here is what the caller reports.
    int error = errno;
    CloseDescriptor(&output->handle);
    CloseDescriptor(&output->replaced);
    RemoveTemporaryName(output);
    CloseDescriptor(&output->folder);
    PlatformRelease(output->targetName);
    *output = PlatformOutput{};
    errno = error;
}

namespace {

// Ends a failed begin with errno as the failure left it.
bool FailToBegin(PlatformOutput* output)
{
    int error = errno;
    ReleaseOutput(output);
    errno = error;
    return false;
}

}  // namespace

bool PlatformBeginOutput(const char* path, PlatformOutput* output)
{
    *output = PlatformOutput{};
    int folder = -1;
    bool procLink = false;
    if (path == nullptr || path[0] == 0 ||
        !FindOutputTarget(path, &folder, &output->targetName, &procLink)) {
        return false;
    }
    output->folder = folder;
    PlantInjected(PlantPoint::AfterWalk, folder, output->targetName);
    // Opened as the caller, without truncating: a file "wb" could not open
    // is refused here, before anything changes. O_NONBLOCK so that a FIFO
    // with no reader is refused instead of waited for. A proc link is
    // opened through, to what the kernel holds; nothing is made there.
    int target = openat(folder, output->targetName,
                        O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (procLink ? 0 : O_NOFOLLOW));
    if (target < 0) {
        int temporary = errno == ENOENT && !procLink ? CreateTemporary(output, 0666) : -1;
        if (temporary < 0) {
            return FailToBegin(output);
        }
        output->handle = temporary;
        output->route = OutputRoute::NewFile;
        return true;
    }
    struct stat status {};
    int flags = fcntl(target, F_GETFL);
    if (fstat(target, &status) != 0 || flags < 0 ||
        fcntl(target, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(target);
        return FailToBegin(output);
    }
    // Looked at again now that it is open: what another user planted after
    // the walk's look is refused as what was there before it.
    if (IsPlanted(folder, status)) {
        close(target);
        errno = EACCES;
        return FailToBegin(output);
    }
    if (!S_ISREG(status.st_mode)) {
        // A FIFO, a pipe or a device cannot be renamed over: written
        // straight through.
        CloseDescriptor(&output->folder);
        output->handle = target;
        output->route = OutputRoute::StraightThrough;
        return true;
    }
    if (procLink) {
        // A file known by a descriptor (deleted, perhaps) has no name to
        // rename over.
        RewriteInPlace(target, output);
        return true;
    }
    if (!BeginReplacing(target, status, output)) {
        return FailToBegin(output);
    }
    return true;
}

bool PlatformReserveOutput(PlatformOutput* output, int64_t byteCount)
{
    if (output->route == OutputRoute::StraightThrough) {
        return true;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<uint64_t>(byteCount) > limit.rlim_cur) {
        errno = EFBIG;
        return false;
    }
    if (FaultFires(FaultPoint::Reserve)) {
        return false;
    }
#if defined(__linux__)
    // Only a file written over in place needs its room first: a temporary
    // that fails leaves the old file whole anyway. The file keeps its size,
    // and its bytes, until they are written over.
    if (output->route == OutputRoute::InPlace && byteCount > 0 &&
        fallocate(Descriptor(output->handle), FALLOC_FL_KEEP_SIZE, 0,
                  static_cast<off_t>(byteCount)) != 0) {
        // A file system that cannot reserve space writes without.
        return errno == EOPNOTSUPP || errno == ENOSYS;
    }
#endif
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

bool OutputFaultFires(FaultPoint point)
{
    return FaultFires(point);
}

bool CutOutputToWritten(PlatformOutput* output)
{
    int fd = Descriptor(output->handle);
    off_t end = lseek(fd, 0, SEEK_CUR);
    return end >= 0 && ftruncate(fd, end) == 0;
}

bool SyncOutput(PlatformOutput* output)
{
    return fsync(Descriptor(output->handle)) == 0;
}

bool GiveReplacementItsAttributes(PlatformOutput* output)
{
    return GiveOwnerModeAndAttributes(Descriptor(output->handle), Descriptor(output->replaced));
}

bool CloseOutput(PlatformOutput* output)
{
    int fd = Descriptor(output->handle);
    // A failed close has still released the descriptor.
    output->handle = kNoPlatformHandle;
    return close(fd) == 0;
}
