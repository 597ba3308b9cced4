// Runs a real process and collects what it printed and how it ended.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
    int exitStatus = -1;  // -1 when it did not exit normally
    int signal = 0;       // the signal that ended it, if any
    std::string out;
    std::string err;
};

// Where the process's standard output goes: to the pipe the result is read
// from, to a device that is always full, or nowhere (closed at start).
enum class StandardOutputKind { Pipe, Full, Closed };

struct ProcessOptions {
    long fileSizeLimit = -1;             // RLIMIT_FSIZE in bytes; -1 leaves it alone
    long addressSpaceLimit = -1;         // RLIMIT_AS in bytes, to make allocations fail
    std::string workingDirectory;        // "" leaves it alone
    bool standardErrorTerminal = false;  // standard error on a pseudo-terminal
    bool asNobody = false;  // run as user and group 65534 through setpriv, with no other groups
    StandardOutputKind standardOutput = StandardOutputKind::Pipe;
    // Descriptors of the test the process inherits under the same numbers,
    // for /proc/self/fd/N and /dev/fd/N outputs.
    std::vector<int> inheritedDescriptors;
};

// The user and group `asNobody` runs as.
constexpr unsigned kNobody = 65534;

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// RunProcess for a program of this build: on a cross build it runs under the
// target's emulator.
ProcessResult RunBuiltProgram(const std::vector<std::string>& argv,
                              const ProcessOptions& options = {});

// Names of the entries of the folder at `path`, sorted.
std::vector<std::string> ListFolder(const std::string& path);

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    std::vector<std::string> List() const { return ListFolder(path_); }

private:
    std::string path_;
};
