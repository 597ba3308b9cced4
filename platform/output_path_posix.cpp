#include "output_path_posix.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/fsuid.h>
#include <sys/vfs.h>
#endif

#include "output_names.h"
#include "platform.h"

namespace {

// As many links as the kernel follows in one lookup.
constexpr int kMaxLinksFollowed = 40;
// The longest link text Linux stores, and room for its terminator.
constexpr size_t kLinkTextBytes = 4096;

// The user whose rights the file system checks.
uid_t CallerFileUser()
{
#if defined(__linux__)
    // An invalid ID changes nothing and returns the current one.
    return static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1)));
#else
    return geteuid();
#endif
}

// The walk's folder while it is at the root. The root is not opened as
// "/": names in it are looked up as "/name" instead. The two are the same to
// the kernel, but an emulator that gives the program a root of its own for
// its libraries (qemu -L) maps "/" itself there, and every name beside it
// that its root lacks to the real one.
constexpr int kAtRoot = AT_FDCWD;

// Links of a proc file system (/proc/self/fd/N, /proc/PID/root) stand for
// what the kernel holds, which their text does not name: a deleted file's
// reads "NAME (deleted)", a pipe's "pipe:[N]", and another mount
// namespace's root reads "/", the caller's own.
bool IsOnProc(int folder)
{
#if defined(__linux__)
    struct statfs status {};
    return (folder == kAtRoot ? statfs("/", &status) : fstatfs(folder, &status)) == 0 &&
           status.f_type == PROC_SUPER_MAGIC;
#else
    (void)folder;
    return false;
#endif
}

// The rest of a walk after a link: the link's text, then what followed the
// link in the path being walked.
char* JoinLinkAndRest(const char* linkText, size_t linkBytes, const char* rest)
{
    size_t restBytes = std::strlen(rest);
    char* joined = static_cast<char*>(PlatformAllocate(linkBytes + restBytes + 1));
    if (joined != nullptr) {
        std::memcpy(joined, linkText, linkBytes);
        std::memcpy(joined + linkBytes, rest, restBytes + 1);
    }
    return joined;
}

bool IsDotName(const char* name, size_t bytes)
{
    return (bytes == 1 && name[0] == '.') || (bytes == 2 && name[0] == '.' && name[1] == '.');
}

// Replaces the walk's folder by `next` (a descriptor, kAtRoot, or -1 on
// failure).
bool MoveTo(int* folder, int next)
{
    if (next == -1) {
        return false;
    }
    if (*folder >= 0) {
        close(*folder);
    }
    *folder = next;
    return true;
}

struct Walk {
    int folder = -1;
    char* path = nullptr;  // what remains to walk starts at `next`
    const char* next = nullptr;
    char* linkText = nullptr;
    int linksFollowed = 0;
};

void EndWalk(Walk* walk)
{
    if (walk->folder >= 0) {
        close(walk->folder);
    }
    PlatformRelease(walk->path);
    PlatformRelease(walk->linkText);
}

// Counts a link gone through: past the kernel's own limit, the walk ends as
// its lookup would.
bool CountLink(Walk* walk)
{
    if (++walk->linksFollowed > kMaxLinksFollowed) {
        errno = ELOOP;
        return false;
    }
    return true;
}

// Follows the link `name` in the walk's folder: the walk goes on with its
// text (from / when it is absolute), then the rest of the path.
bool FollowLink(Walk* walk, const char* name, const struct stat& link, const char* rest)
{
    if (!CountLink(walk)) {
        return false;
    }
    if (IsPlanted(walk->folder, link)) {
        errno = EACCES;
        return false;
    }
    ssize_t textBytes = readlinkat(walk->folder, name, walk->linkText, kLinkTextBytes - 1);
    if (textBytes <= 0) {
        if (textBytes == 0) {
            errno = ENOENT;
        }
        return false;
    }
    char* joined = JoinLinkAndRest(walk->linkText, static_cast<size_t>(textBytes), rest);
    if (joined == nullptr) {
        return false;
    }
    PlatformRelease(walk->path);
    walk->path = joined;
    walk->next = joined;
    return walk->path[0] != '/' || MoveTo(&walk->folder, kAtRoot);
}

// Goes through the proc link `name`, a folder in the middle of the path, as
// the kernel resolves it: the walk goes on from what it stands for.
bool EnterThroughProcLink(Walk* walk, const char* name, const char* rest)
{
    walk->next = rest;
    return CountLink(walk) && MoveTo(&walk->folder, openat(walk->folder, name, kFolderFlags));
}

// The name `bytes` bytes long at `text`, as it is looked up in `folder`.
char* NameInFolder(int folder, const char* text, size_t bytes)
{
    if (folder != kAtRoot) {
        return CopyText(text, bytes);
    }
    char* name = static_cast<char*>(PlatformAllocate(bytes + 2));
    if (name != nullptr) {
        name[0] = '/';
        std::memcpy(name + 1, text, bytes);
        name[bytes + 1] = 0;
    }
    return name;
}

// Hands over the final folder and name; one at the root gets the root's
// descriptor after all.
bool HandOver(int* walkFolder, char* component, int* folder, char** name)
{
    if (*walkFolder == kAtRoot) {
        *walkFolder = open("/", kFolderFlags);
        std::memmove(component, component + 1, std::strlen(component));
    }
    if (*walkFolder < 0) {
        return false;
    }
    *folder = *walkFolder;
    *name = component;
    *walkFolder = -1;
    return true;
}

}  // namespace

// In a sticky folder that anyone may write, another user can plant an entry
// but not replace the caller's: only what the caller or the folder's owner
// owns there is trusted, whatever the kernel's own protection is set to.
bool IsPlanted(int folder, const struct stat& entry)
{
    struct stat status {};
    if ((folder == kAtRoot ? stat("/", &status) : fstat(folder, &status)) != 0) {
        return true;
    }
    bool shared = (status.st_mode & S_ISVTX) != 0 && (status.st_mode & S_IWOTH) != 0;
    return shared && entry.st_uid != CallerFileUser() && entry.st_uid != status.st_uid;
}

bool NameIsPlanted(int folder, const char* name)
{
    struct stat entry {};
    return fstatat(folder, name, &entry, AT_SYMLINK_NOFOLLOW) == 0 && IsPlanted(folder, entry);
}

bool FindOutputTarget(const char* path, int* folder, char** name, bool* procLink)
{
    *procLink = false;
    Walk walk;
    walk.path = CopyText(path, std::strlen(path));
    walk.linkText = static_cast<char*>(PlatformAllocate(kLinkTextBytes));
    walk.next = walk.path;
    walk.folder = path[0] == '/' ? kAtRoot : open(".", kFolderFlags);
    bool found = false;
    while (walk.path != nullptr && walk.linkText != nullptr && walk.folder != -1) {
        while (*walk.next == '/') {
            ++walk.next;
        }
        const char* end = std::strchr(walk.next, '/');
        bool last = end == nullptr;
        size_t bytes = last ? std::strlen(walk.next) : static_cast<size_t>(end - walk.next);
        if (bytes == 0 || (last && IsDotName(walk.next, bytes))) {
            errno = EISDIR;  // a path that ends in a folder names no file
            break;
        }
        if (walk.folder == kAtRoot && IsDotName(walk.next, bytes)) {
            walk.next += bytes;  // "." and ".." of the root are the root
            continue;
        }
        char* component = NameInFolder(walk.folder, walk.next, bytes);
        if (component == nullptr) {
            break;
        }
        const char* rest = walk.next + bytes;
        struct stat entry {};
        bool exists = fstatat(walk.folder, component, &entry, AT_SYMLINK_NOFOLLOW) == 0;
        bool going = false;
        bool link = exists && S_ISLNK(entry.st_mode);
        if (link && IsOnProc(walk.folder)) {
            if (last) {
                found = HandOver(&walk.folder, component, folder, name);
                *procLink = found;
                component = found ? nullptr : component;
            } else {
                going = EnterThroughProcLink(&walk, component, rest);
            }
        } else if (link) {
            going = FollowLink(&walk, component, entry, rest);
        } else if (last && (exists || errno == ENOENT)) {
            if (exists && IsPlanted(walk.folder, entry)) {
                errno = EACCES;
            } else {
                found = HandOver(&walk.folder, component, folder, name);
                component = found ? nullptr : component;
            }
        } else if (exists) {
            // O_NOFOLLOW: a folder swapped for a link since it was looked at
            // is not entered.
            going = MoveTo(&walk.folder, openat(walk.folder, component, kFolderFlags | O_NOFOLLOW));
            walk.next = rest;
        }
        PlatformRelease(component);
        if (!going) {
            break;
        }
    }
    int error = errno;
    EndWalk(&walk);
    errno = error;
    return found;
}
