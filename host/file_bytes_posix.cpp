#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_bytes.h"

namespace {

// A descriptor of the regular file at `path`, or -1 with errno set.
int OpenRegularFile(const std::string& path, struct stat* status)
{
    int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file < 0) {
        return -1;
    }
    if (fstat(file, status) != 0 || !S_ISREG(status->st_mode)) {
        int error = S_ISDIR(status->st_mode) ? EISDIR : errno != 0 ? errno : EINVAL;
        close(file);
        errno = error;
        return -1;
    }
    return file;
}

}  // namespace

size_t ReadFileHead(const std::string& path, uint8_t* buffer, size_t byteCount)
{
    struct stat status {};
    int file = OpenRegularFile(path, &status);
    if (file < 0) {
        return 0;
    }
    ssize_t got = read(file, buffer, byteCount);
    close(file);
    return got > 0 ? static_cast<size_t>(got) : 0;
}

bool ReadWholeFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>* bytes,
                   int* osError)
{
    struct stat status {};
    errno = 0;
    int file = OpenRegularFile(path, &status);
    if (file < 0) {
        *osError = errno;
        return false;
    }
    if (static_cast<uint64_t>(status.st_size) > maxBytes) {
        close(file);
        *osError = EFBIG;
        return false;
    }
    bytes->resize(static_cast<size_t>(status.st_size));
    size_t done = 0;
    while (done < bytes->size()) {
        ssize_t got = read(file, bytes->data() + done, bytes->size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0) {  // cut short since it was looked at: what is there is the file
            bytes->resize(done);
            break;
        }
        if (got < 0) {
            *osError = errno;
            close(file);
            return false;
        }
        done += static_cast<size_t>(got);
    }
    close(file);
    return true;
}
