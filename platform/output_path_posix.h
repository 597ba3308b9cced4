// Finding where an output goes: the folder and the name that finally hold
// it, with symbolic links followed the way the kernel follows them when it
// protects shared folders.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#if defined(O_PATH)
// Only a lookup base: a folder that may be searched but not listed works.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Walks `path` one name at a time from the current folder (or from / for an
// absolute path), following every symbolic link itself, dangling ones too.
// On success `*folder` is the folder that holds the final name and `*name`
// that name (from PlatformAllocate), which is not a link and may not exist
// yet, or, with `*procLink` set, a link of a proc file system
// (/proc/self/fd/N), which stands for what the kernel holds, not for its
// text, and is to be opened through. Such links in the middle of the path
// are gone through by the kernel too: /proc/PID/root leads into that
// process's own view of the file system. Fails, with errno set, for a path
// that ends in a folder, a name that cannot be looked up, too many links,
// and, in a sticky folder that anyone may write (such as /tmp), for a link
// or an existing file owned by neither the caller nor the folder's owner:
// what another user planted there is never followed or written (EACCES).
bool FindOutputTarget(const char* path, int* folder, char** name, bool* procLink);

// True when `entry`, a name in `folder`, was planted there by another user:
// the folder is sticky and anyone may write it, and the entry belongs to
// neither the caller nor the folder's owner. Asked again of the file once
// it is open and of what a rename would replace, since one can be planted
// after any look.
bool IsPlanted(int folder, const struct stat& entry);

// True when `name` in `folder` holds something another user planted.
bool NameIsPlanted(int folder, const char* name);
