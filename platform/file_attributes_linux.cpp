#include "file_attributes.h"

#include <cerrno>
#include <cstring>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>

#include "platform.h"

namespace {

// The flags chattr sets that a new, empty regular file can take. Append-only
// and immutable files cannot be opened for writing, so never get here; the
// others (extents, inline data, encryption and the like) belong to the file
// system.
constexpr int kFlagsANewFileTakes = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL |
                                    FS_NODUMP_FL | FS_NOATIME_FL | FS_JOURNAL_DATA_FL |
                                    FS_NOTAIL_FL | FS_NOCOW_FL | FS_NOCOMP_FL;

bool NoAttributesHere(int error)
{
    return error == ENOTSUP || error == ENOSYS;
}

// The value of attribute `name` of `file`, from PlatformAllocate; nullptr
// when it cannot be read.
char* AttributeValue(int file, const char* name, ssize_t* bytes)
{
    *bytes = fgetxattr(file, name, nullptr, 0);
    char* value = *bytes < 0 ? nullptr : static_cast<char*>(PlatformAllocate(*bytes + 1));
    if (value != nullptr && fgetxattr(file, name, value, *bytes) != *bytes) {
        PlatformRelease(value);
        value = nullptr;
    }
    return value;
}

bool CopyAttribute(int from, int to, const char* name)
{
    // Access control lists and other system.* names are not plain values.
    if (std::strncmp(name, "system.", 7) == 0) {
        return false;
    }
    ssize_t bytes = 0;
    char* value = AttributeValue(from, name, &bytes);
    if (value == nullptr) {
        return false;
    }
    // One the new file already has (a security label, say) is left alone.
    ssize_t existingBytes = 0;
    char* existing = AttributeValue(to, name, &existingBytes);
    bool same = existing != nullptr && existingBytes == bytes &&
                std::memcmp(existing, value, static_cast<size_t>(bytes)) == 0;
    bool copied = same || fsetxattr(to, name, value, static_cast<size_t>(bytes), 0) == 0;
    PlatformRelease(existing);
    PlatformRelease(value);
    return copied;
}

}  // namespace

bool CopyExtendedAttributes(int from, int to)
{
    ssize_t listBytes = flistxattr(from, nullptr, 0);
    if (listBytes <= 0) {
        return listBytes == 0 || NoAttributesHere(errno);
    }
    char* names = static_cast<char*>(PlatformAllocate(static_cast<size_t>(listBytes)));
    // A list that grew since it was measured fails with ERANGE, and the copy
    // with it.
    bool copied = names != nullptr && flistxattr(from, names, listBytes) == listBytes;
    for (ssize_t at = 0; copied && at < listBytes; at += std::strlen(names + at) + 1) {
        copied = CopyAttribute(from, to, names + at);
    }
    PlatformRelease(names);
    return copied;
}

bool CopyInodeFlags(int from, int to)
{
    int flags = 0;
    if (ioctl(from, FS_IOC_GETFLAGS, &flags) != 0) {
        return true;  // a file system without such flags
    }
    int wanted = flags & kFlagsANewFileTakes;
    int current = 0;
    if (wanted == 0) {
        return true;
    }
    if (ioctl(to, FS_IOC_GETFLAGS, &current) != 0) {
        return false;
    }
    int updated = current | wanted;
    // Some file systems accept flags they do not keep: read them back.
    return (current & wanted) == wanted ||
           (ioctl(to, FS_IOC_SETFLAGS, &updated) == 0 &&
            ioctl(to, FS_IOC_GETFLAGS, &current) == 0 && (current & wanted) == wanted);
}
