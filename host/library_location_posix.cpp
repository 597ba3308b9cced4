#include <unistd.h>

#include "library_location.h"

std::string LibraryPathNearHost(const char* fileName)
{
    char executable[4096];
    ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
    std::string directory = ".";
    if (length > 0) {
        directory.assign(executable, static_cast<size_t>(length));
        directory.erase(directory.find_last_of('/'));
    }
    const std::string candidates[] = {directory + "/" + fileName,
                                      directory + "/../lib/" + fileName};
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), F_OK) == 0) {
            return candidate;
        }
    }
    return candidates[0];
}
