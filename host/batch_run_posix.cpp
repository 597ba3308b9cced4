#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "batch_run.h"
#include "byte_order.h"

namespace {

// How one child ended: the index of the last image it began, if any.
struct ChildOutcome {
    bool began = false;
    size_t lastBegun = 0;
    int waitStatus = 0;
};

// A one-line "[37/200] img037.bmp" on a terminal, redrawn in place.
struct Progress {
    bool enabled = false;
    bool shown = false;
};

void ShowProgress(Progress* progress, size_t index, const HostRequest& request)
{
    if (progress->enabled) {
        std::fprintf(stderr, "\r[%zu/%zu] %s\033[K", index + 1, request.jobs.size(),
                     request.jobs[index].input.c_str());
        progress->shown = true;
    }
}

void ClearProgress(Progress* progress)
{
    if (progress->shown) {
        std::fputs("\r\033[K", stderr);
        progress->shown = false;
    }
}

bool WriteAll(int descriptor, const void* bytes, size_t count)
{
    const char* next = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t written = write(descriptor, next, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        next += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

// Reads one whole record; false at the end of the pipe.
bool ReadRecord(int descriptor, size_t* index)
{
    char* next = reinterpret_cast<char*>(index);
    size_t missing = sizeof *index;
    while (missing > 0) {
        ssize_t got = read(descriptor, next, missing);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        next += got;
        missing -= static_cast<size_t>(got);
    }
    return true;
}

// The child: recolours images from `first` on, telling the parent through
// `report` which image it begins before the library sees it. A failed image
// ends the child inside the library, with status 1.
[[noreturn]] void RunChild(PavonizeFunction pavonize, const HostRequest& request, size_t first,
                           int report)
{
    if (request.quiet) {
        int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, STDOUT_FILENO) < 0) {
            std::fprintf(stderr, "pavonize: cannot open /dev/null: %s\n", std::strerror(errno));
            _exit(1);
        }
        close(null);
    }
    for (size_t i = first; i < request.jobs.size(); ++i) {
        const ImageJob& job = request.jobs[i];
        if (!WriteAll(report, &i, sizeof i) ||
            pavonize(reinterpret_cast<const PavonizePathChar*>(job.wideInput.c_str()),
                     reinterpret_cast<const PavonizePathChar*>(job.wideOutput.c_str())) !=
                PAVONIZE_DONE) {
            _exit(1);
        }
    }
    std::fflush(stdout);
    _exit(0);
}

bool RunChildFrom(PavonizeFunction pavonize, const HostRequest& request, size_t first,
                  Progress* progress, ChildOutcome* outcome)
{
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "pavonize: cannot start the recolouring: %s\n", std::strerror(errno));
        return false;
    }
    std::fflush(nullptr);  // nothing buffered is written twice
    pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "pavonize: cannot start the recolouring: %s\n", std::strerror(errno));
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        close(report[0]);
        RunChild(pavonize, request, first, report[1]);
    }
    close(report[1]);
    size_t index = 0;
    while (ReadRecord(report[0], &index)) {
        outcome->began = true;
        outcome->lastBegun = index;
        ShowProgress(progress, index, request);
    }
    close(report[0]);
    while (waitpid(child, &outcome->waitStatus, 0) < 0 && errno == EINTR) {
    }
    return true;
}

// A BMP file whose depth is not 8 bits, from its headers: the 12-byte OS/2
// header keeps the depth at byte 24, every longer header at byte 28.
// Only a regular file is read, and without waiting: a FIFO has no writer.
bool IsBmpOfAnotherDepth(const std::string& path)
{
    uint8_t header[30] = {};
    int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        return false;
    }
    struct stat status {};
    ssize_t got = fstat(file, &status) == 0 && S_ISREG(status.st_mode)
                      ? read(file, header, sizeof header)
                      : -1;
    close(file);
    if (got < 26 || header[0] != 'B' || header[1] != 'M') {
        return false;
    }
    if (ReadLe32(header + 14) == 12) {
        return ReadLe16(header + 24) != 8;
    }
    return got == static_cast<ssize_t>(sizeof header) && ReadLe16(header + 28) != 8;
}

// The path as one shell word.
std::string ShellWord(const std::string& path)
{
    if (path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "0123456789_-+./,:@%=") == std::string::npos) {
        return path;
    }
    std::string word = "'";
    for (char c : path) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

void ReportFailure(const ImageJob& job, int waitStatus)
{
    if (WIFSIGNALED(waitStatus)) {
        std::fprintf(stderr, "pavonize: %s: not recoloured (ended by signal %d)\n",
                     job.input.c_str(), WTERMSIG(waitStatus));
        return;
    }
    std::fprintf(stderr, "pavonize: %s: not recoloured\n", job.input.c_str());
    if (IsBmpOfAnotherDepth(job.input)) {
        std::fprintf(stderr,
                     "pavonize: only 8-bit images are recoloured; convert it first, for example:\n"
                     "  convert %s -colorspace Gray -type Palette -compress RLE BMP3:grey.bmp\n",
                     ShellWord(job.input).c_str());
    }
}

}  // namespace

int RunBatch(PavonizeFunction pavonize, const HostRequest& request)
{
    const size_t total = request.jobs.size();
    Progress progress{.enabled = request.quiet && total > 1 && isatty(STDERR_FILENO) == 1};
    size_t failures = 0;
    size_t next = 0;
    while (next < total) {
        ChildOutcome outcome;
        if (!RunChildFrom(pavonize, request, next, &progress, &outcome)) {
            ClearProgress(&progress);
            return 1;
        }
        ClearProgress(&progress);
        if (WIFEXITED(outcome.waitStatus) && WEXITSTATUS(outcome.waitStatus) == 0) {
            break;
        }
        if (!outcome.began) {
            // The child ended before its first image: nothing to blame an
            // image for, and a new child would fare no better.
            return 1;
        }
        ReportFailure(request.jobs[outcome.lastBegun], outcome.waitStatus);
        ++failures;
        next = outcome.lastBegun + 1;
        if (!request.keepGoing && next < total) {
            std::fprintf(stderr,
                         "pavonize: stopped: %zu of %zu images were not processed "
                         "(--keep-going goes on after a failure)\n",
                         total - next, total);
            return 1;
        }
    }
    if (failures > 0 && total > 1) {
        std::fprintf(stderr, "pavonize: %zu of %zu images failed\n", failures, total);
    }
    return failures > 0 ? 1 : 0;
}
