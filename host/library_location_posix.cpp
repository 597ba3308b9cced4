#include <unistd.h>

#include "library_location.h"

// The build defines ORVANEPAVONIZE_LIBDIR_FROM_BINDIR: the installed library
// folder relative to the installed program's ("../lib", or
// "../lib/<multiarch>" under /usr on Debian).

std::string LibraryPathNearHost(const char* fileName)
{
    char executable[4096];
    ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
    std::string directory = ".";
    if (length > 0) {
        directory.assign(executable, static_cast<size_t>(length));
        directory.erase(directory.find_last_of('/'));
    }
    const std::string candidates[] = {
        directory + "/" + fileName,
        directory + "/" ORVANEPAVONIZE_LIBDIR_FROM_BINDIR "/" + fileName};
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), F_OK) == 0) {
            return candidate;
        }
    }
    return candidates[0];
}
