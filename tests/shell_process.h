// Runs a real process for a test and keeps what it printed and its status.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// `command` goes to /bin/sh as it is; quote its arguments.
inline ProcessResult RunProcess(const std::string& command)
{
    std::string stem = "/tmp/shell_process_" + std::to_string(getpid());
    int raw = std::system((command + " >" + stem + ".out 2>" + stem + ".err </dev/null").c_str());
    ProcessResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadWholeFile(stem + ".out");
    result.err = ReadWholeFile(stem + ".err");
    std::remove((stem + ".out").c_str());
    std::remove((stem + ".err").c_str());
    return result;
}
