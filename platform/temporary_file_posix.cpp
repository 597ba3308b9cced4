#include "temporary_file_posix.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fault_injection.h"
#include "output_names.h"
#include "output_path_posix.h"
#include "output_steps.h"

namespace {

int Descriptor(PlatformHandle handle)
{
    return static_cast<int>(handle);
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

// Whether /proc/self/fd can name an unnamed temporary: asked until the
// answer is yes, which then holds for the process.
constinit std::atomic<bool> procNamesTemporaries{false};

bool CanNameThroughProc()
{
    if (!procNamesTemporaries.load(std::memory_order_relaxed) &&
        access("/proc/self/fd", X_OK) == 0) {
        procNamesTemporaries.store(true, std::memory_order_relaxed);
    }
    return procNamesTemporaries.load(std::memory_order_relaxed);
}

}  // namespace

// Removes the temporary's name, if it has one.
void RemoveTemporaryName(PlatformOutput* output)
{
    if (output->temporaryName != nullptr) {
        unlinkat(Descriptor(output->folder), output->temporaryName, 0);
        PlatformRelease(output->temporaryName);
        output->temporaryName = nullptr;
    }
}

// The temporary that will hold the image. On Linux it has no name until it
// is complete, so a process killed while writing leaves nothing behind.
int CreateTemporary(PlatformOutput* output, mode_t mode)
{
#if defined(O_TMPFILE)
    // Naming it later goes through /proc; without /proc, use a named one.
    if (CanNameThroughProc()) {
        int fd =
            OutputFaultFires(FaultPoint::Unnamed)
                ? -1
                : openat(Descriptor(output->folder), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
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

// Gives an unnamed temporary the name `name` in the output's folder; fails
// with EEXIST rather than replace anything.
bool LinkTemporary(PlatformOutput* output, const char* name)
{
    char procPath[48];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", Descriptor(output->handle));
    return !OutputFaultFires(FaultPoint::Link) &&
           linkat(AT_FDCWD, procPath, Descriptor(output->folder), name, AT_SYMLINK_FOLLOW) == 0;
}

// Gives an unnamed temporary a temporary name, to rename it over the output.
bool NameTemporary(PlatformOutput* output)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[kTemporaryNameBytes];
        NewTemporaryName(name);
        if (LinkTemporary(output, name)) {
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

// An unnamed temporary is named while open. A new file is linked straight to
// its name, so it never has another; when something took that name
// meanwhile, or for a replacement, it gets a temporary name and is renamed
// over the output after the close.
bool NameOutputBeforeClose(PlatformOutput* output)
{
    if (!output->unnamedTemporary) {
        return true;
    }
    struct stat ours {};
    if (fstat(Descriptor(output->handle), &ours) != 0) {
        return false;
    }
    if (output->route == OutputRoute::NewFile) {
        PlantInjected(PlantPoint::BeforeLink, Descriptor(output->folder), output->targetName);
        if (LinkTemporary(output, output->targetName)) {
            output->linkedBeforeClose = true;
            output->linkedDevice = static_cast<uint64_t>(ours.st_dev);
            output->linkedInode = static_cast<uint64_t>(ours.st_ino);
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return NameTemporary(output);
}

// Removes the name a new file was linked to, while it is still the file
// this save made.
void UndoNamingBeforeClose(PlatformOutput* output)
{
    struct stat now {};
    if (output->linkedBeforeClose &&
        fstatat(Descriptor(output->folder), output->targetName, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        static_cast<uint64_t>(now.st_dev) == output->linkedDevice &&
        static_cast<uint64_t>(now.st_ino) == output->linkedInode) {
        unlinkat(Descriptor(output->folder), output->targetName, 0);
    }
}

// What the rename would replace is looked at once more: a file another user
// planted at a new output's name, or in place of one since it was opened,
// is never replaced, by root either.
bool PutTemporaryInPlace(PlatformOutput* output)
{
    int folder = Descriptor(output->folder);
    if (NameIsPlanted(folder, output->targetName)) {
        errno = EACCES;
        return false;
    }
    return renameat(folder, output->temporaryName, folder, output->targetName) == 0;
}
