// Files are told apart by device and inode, so a link or a second name for
// a file is caught as well as the same spelling; a path with no file yet is
// told by where a write would put it.
#include "path_checks.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "quoting.h"
#include "standard_output.h"

namespace {

namespace fs = std::filesystem;

// The kernel gives up on a chain of links after 40.
constexpr int kMaxLinkHops = 40;

// One key per file: "inode DEV:INO" for a file that exists, "path FINAL"
// for one a write would create.
std::string FileKey(const std::string& path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        return "inode " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    }
    return "path " + FinalPath(path);
}

bool Fail(std::string* problem, std::string text)
{
    *problem = std::move(text);
    return false;
}

bool CheckOutputDirectory(const std::string& directory, std::string* problem)
{
    struct stat status {};
    if (stat(directory.c_str(), &status) != 0) {
        return Fail(problem, QuotedName(directory) + ": " + std::strerror(errno));
    }
    if (!S_ISDIR(status.st_mode)) {
        return Fail(problem, QuotedName(directory) + ": not a directory");
    }
    return true;
}

bool CheckNotStandardOutput(const HostRequest& request, std::string* problem)
{
    struct stat standardOutput {};
    if (!StandardOutputIsWritable() || fstat(STDOUT_FILENO, &standardOutput) != 0) {
        return true;
    }
    for (const ImageJob& job : request.jobs) {
        struct stat output {};
        if (stat(job.output.c_str(), &output) == 0 && output.st_dev == standardOutput.st_dev &&
            output.st_ino == standardOutput.st_ino) {
            return Fail(problem, QuotedName(job.output) +
                                     " is standard output, which carries the library's messages");
        }
    }
    return true;
}

// A file named twice in --in-place would be recoloured twice.
bool CheckInPlaceNamesEachFileOnce(const HostRequest& request, std::string* problem)
{
    std::map<std::string, const std::string*> seen;
    for (const ImageJob& job : request.jobs) {
        auto [earlier, isNew] = seen.emplace(FileKey(job.input), &job.input);
        if (!isNew) {
            return Fail(problem, QuotedName(*earlier->second) + " and " + QuotedName(job.input) +
                                     " are the same file");
        }
    }
    return true;
}

// An output that is another job's input would be overwritten before or
// after that input is read; two outputs that are one file keep only the
// last image.
bool CheckOutputsOverlapNothing(const HostRequest& request, std::string* problem)
{
    const bool ownInputAllowed = request.form == BatchForm::Pairs;
    std::map<std::string, std::vector<size_t>> inputsByKey;
    for (size_t i = 0; i < request.jobs.size(); ++i) {
        inputsByKey[FileKey(request.jobs[i].input)].push_back(i);
    }
    std::map<std::string, size_t> outputsByKey;
    for (size_t i = 0; i < request.jobs.size(); ++i) {
        const ImageJob& job = request.jobs[i];
        std::string key = FileKey(job.output);
        auto inputs = inputsByKey.find(key);
        if (inputs != inputsByKey.end()) {
            for (size_t j : inputs->second) {
                if (j == i && ownInputAllowed) {
                    continue;
                }
                const std::string& input = request.jobs[j].input;
                if (request.form == BatchForm::OutputDirectory) {
                    return Fail(problem, QuotedName(job.output) + " would overwrite the input " +
                                             QuotedName(input) + " (--in-place replaces inputs)");
                }
                return Fail(problem, "the output " + QuotedName(job.output) + " of pair " +
                                         std::to_string(i + 1) + " is the input " +
                                         QuotedName(input) + " of pair " + std::to_string(j + 1));
            }
        }
        auto [earlier, isNew] = outputsByKey.emplace(key, i);
        if (!isNew) {
            return Fail(problem, "the outputs " + QuotedName(request.jobs[earlier->second].output) +
                                     " and " + QuotedName(job.output) + " of pairs " +
                                     std::to_string(earlier->second + 1) + " and " +
                                     std::to_string(i + 1) + " are the same file");
        }
    }
    return true;
}

}  // namespace

std::string FinalPath(const std::string& path)
{
    std::error_code error;
    fs::path current = path;
    for (int hop = 0; hop < kMaxLinkHops && fs::is_symlink(fs::symlink_status(current, error)) &&
                      !fs::exists(fs::status(current, error));
         ++hop) {
        fs::path target = fs::read_symlink(current, error);
        if (error) {
            break;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    // A batch's new outputs mostly share a folder: its final path is worked
    // out once (a look at each name on the way), not once per output. The
    // checks run before any work, in one folder, so the answer holds.
    static std::map<std::string, fs::path> finalFolders;
    fs::path name = current.filename();
    if (!name.empty() && name != "." && name != "..") {
        fs::path parent = current.has_parent_path() ? current.parent_path() : fs::path(".");
        error.clear();  // what the look at the links above left there
        auto [folder, isNew] = finalFolders.try_emplace(parent.string());
        if (isNew) {
            folder->second = fs::weakly_canonical(fs::absolute(parent, error), error);
        }
        if (!error) {
            return (folder->second / name).string();
        }
        finalFolders.erase(folder);
    }
    fs::path absolute = fs::absolute(current, error);
    fs::path final = fs::weakly_canonical(absolute, error);
    return (error ? absolute.lexically_normal() : final).string();
}

bool CheckPathsBeforeWork(const HostRequest& request, std::string* problem)
{
    if (request.form == BatchForm::OutputDirectory &&
        !CheckOutputDirectory(request.outputDirectory, problem)) {
        return false;
    }
    if (!CheckNotStandardOutput(request, problem)) {
        return false;
    }
    switch (request.form) {
    case BatchForm::OneImage:
        return true;  // its OUTPUT may be its INPUT: read in full before the write
    case BatchForm::InPlace:
        return CheckInPlaceNamesEachFileOnce(request, problem);
    case BatchForm::Pairs:
    case BatchForm::OutputDirectory:
        return CheckOutputsOverlapNothing(request, problem);
    }
    return true;
}
