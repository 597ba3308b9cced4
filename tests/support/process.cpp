#include "process.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "program_launcher.h"

namespace {
void ReadBoth(int outFd, int errFd, std::string* out, std::string* err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {out, err};
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                // A pseudo-terminal reports its closed far end as EIO.
                ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    sinks[i]->append(buffer, static_cast<size_t>(got));
                } else {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
}
}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (options.standardErrorTerminal) {
        close(errPipe[0]);
        close(errPipe[1]);
        errPipe[0] = posix_openpt(O_RDWR | O_NOCTTY);
        if (errPipe[0] < 0 || grantpt(errPipe[0]) != 0 || unlockpt(errPipe[0]) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        errPipe[1] = -1;
    }
    pid_t child = fork();
    if (child == 0) {
        if (options.standardErrorTerminal) {
            errPipe[1] = open(ptsname(errPipe[0]), O_RDWR | O_NOCTTY);
        }
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        if (options.standardOutput == StandardOutputKind::Full) {
            int full = open("/dev/full", O_WRONLY);
            if (full < 0 || dup2(full, STDOUT_FILENO) < 0) {
                _exit(127);
            }
            close(full);
        } else if (options.standardOutput == StandardOutputKind::Closed) {
            close(STDOUT_FILENO);
        }
        for (int inherited : options.inheritedDescriptors) {
            if (fcntl(inherited, F_SETFD, 0) != 0) {
                _exit(127);
            }
        }
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
            _exit(127);
        }
        // A test that makes its program die of a signal wants no core file.
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (options.fileSizeLimit >= 0) {
            rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.addressSpaceLimit >= 0) {
            rlimit limit{static_cast<rlim_t>(options.addressSpaceLimit),
                         static_cast<rlim_t>(options.addressSpaceLimit)};
            setrlimit(RLIMIT_AS, &limit);
        }
        std::vector<std::string> command;
        if (options.asNobody) {
            // Permission faults show only to a user without root's override.
            command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        }
        command.insert(command.end(), argv.begin(), argv.end());
        std::vector<char*> args;
        for (const std::string& arg : command) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(outPipe[1]);
    if (errPipe[1] >= 0) {
        close(errPipe[1]);
    }
    ProcessResult result;
    ReadBoth(outPipe[0], errPipe[0], &result.out, &result.err);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

ProcessResult RunBuiltProgram(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    std::vector<std::string> command = kProgramLauncher;
    command.insert(command.end(), argv.begin(), argv.end());
    return RunProcess(command, options);
}

ScratchDirectory::ScratchDirectory()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pavonize-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ListFolder(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
