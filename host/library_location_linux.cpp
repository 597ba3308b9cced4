#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "library_location.h"

// The build defines ORVANEPAVONIZE_LIBDIR_FROM_BINDIR: the installed library
// folder relative to the installed program's ("../lib", or
// "../lib/<multiarch>" under /usr on Debian).

namespace {

// The running program's absolute path. The buffer grows, so a path longer
// than PATH_MAX is never cut short into some other folder's name.
bool ExecutablePath(std::string* path, std::string* problem)
{
    constexpr size_t kMostBytes = size_t{1} << 20;
    std::vector<char> buffer(256);
    while (true) {
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            *problem = std::string("/proc/self/exe: ") + std::strerror(errno);
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            path->assign(buffer.data(), static_cast<size_t>(length));
            break;
        }
        if (buffer.size() >= kMostBytes) {
            *problem = "/proc/self/exe: the path is too long";
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
    if (path->empty() || (*path)[0] != '/') {
        *problem = "/proc/self/exe: not an absolute path";
        return false;
    }
    return true;
}

}  // namespace

bool LibraryPathNearHost(const char* fileName, std::string* path, std::string* problem)
{
    std::string executable;
    if (!ExecutablePath(&executable, problem)) {
        return false;
    }
    std::string directory = executable.substr(0, executable.find_last_of('/'));
    const std::string candidates[] = {
        directory + "/" + fileName,
        directory + "/" ORVANEPAVONIZE_LIBDIR_FROM_BINDIR "/" + fileName};
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), F_OK) == 0) {
            *path = candidate;
            return true;
        }
    }
    *path = candidates[0];
    return true;
}
