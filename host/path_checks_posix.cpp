// The checks of CheckPathsBeforeWork that look at the file system. Files are
// told apart by device and inode, so a link or a second name for a file is
// caught as well as the same spelling.
#include <cerrno>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "command_line.h"

namespace {

using FileIdentity = std::pair<dev_t, ino_t>;

bool Identify(const std::string& path, FileIdentity* identity)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return false;
    }
    *identity = {status.st_dev, status.st_ino};
    return true;
}

bool Fail(std::string* problem, std::string text)
{
    *problem = std::move(text);
    return false;
}

}  // namespace

bool CheckPathsBeforeWork(const HostRequest& request, std::string* problem)
{
    std::map<FileIdentity, std::string> inputs;
    if (!request.outputDirectory.empty()) {
        struct stat status {};
        if (stat(request.outputDirectory.c_str(), &status) != 0) {
            return Fail(problem, request.outputDirectory + ": " + std::strerror(errno));
        }
        if (!S_ISDIR(status.st_mode)) {
            return Fail(problem, request.outputDirectory + ": not a directory");
        }
        for (const ImageJob& job : request.jobs) {
            FileIdentity identity;
            if (Identify(job.input, &identity)) {
                inputs.emplace(identity, job.input);
            }
        }
    }
    struct stat standardOutput {};
    bool standardOutputKnown = fstat(STDOUT_FILENO, &standardOutput) == 0;
    for (const ImageJob& job : request.jobs) {
        FileIdentity output;
        if (!Identify(job.output, &output)) {
            continue;
        }
        auto input = inputs.find(output);
        if (input != inputs.end()) {
            return Fail(problem, job.output + " would overwrite the input " + input->second +
                                     " (--in-place replaces inputs)");
        }
        if (standardOutputKnown &&
            output == FileIdentity{standardOutput.st_dev, standardOutput.st_ino}) {
            return Fail(problem,
                        job.output + " is standard output, which carries the library's messages");
        }
    }
    return true;
}
