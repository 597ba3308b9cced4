#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "batch_run.h"
#include "byte_order.h"
#include "chosen_colours.h"
#include "image_formats.h"
#include "path_checks.h"
#include "progress.h"
#include "quoting.h"
#include "recolour/bitmap_format.h"
#include "recolour/messages.h"
#include "standard_output.h"

namespace {

// The child's standard output carries the library's text and, between the
// images, records of the child's own. Library text never holds a NUL byte,
// so a NUL starts a record: the mark, the kind, the image's index and an
// errno.
constexpr char kRecordMark = '\0';
enum RecordKind : char { kImageBegins = 1, kColoursFailed = 2 };
constexpr size_t kRecordBytes = 2 + sizeof(uint64_t) + sizeof(int32_t);

// How one child ended: the last image it began, and what it printed for it.
struct ChildOutcome {
    bool began = false;
    size_t lastBegun = 0;
    std::string lastText;  // the library's messages for that image
    int colourError = 0;   // why the chosen colours could not be written, if they could not
    int waitStatus = 0;
};

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

// In the child, after everything the library printed so far.
bool SendRecord(RecordKind kind, size_t index, int error)
{
    char record[kRecordBytes] = {kRecordMark, kind};
    auto index64 = static_cast<uint64_t>(index);
    auto error32 = static_cast<int32_t>(error);
    std::memcpy(record + 2, &index64, sizeof index64);
    std::memcpy(record + 2 + sizeof index64, &error32, sizeof error32);
    return std::fflush(stdout) == 0 && WriteAll(STDOUT_FILENO, record, sizeof record);
}

// The child: recolours images from `first` on, standard output on `output`,
// telling the parent which image it begins before the library sees it. A
// failed image ends the child inside the library, with status 1.
[[noreturn]] void RunChild(PavonizeFunction pavonize, const HostRequest& request, size_t first,
                           int output)
{
    if (dup2(output, STDOUT_FILENO) < 0) {
        std::fprintf(stderr, "pavonize: cannot start the recolouring: %s\n", std::strerror(errno));
        _exit(1);
    }
    close(output);
    for (size_t i = first; i < request.jobs.size(); ++i) {
        const ImageJob& job = request.jobs[i];
        if (!SendRecord(kImageBegins, i, 0) ||
            pavonize(reinterpret_cast<const PavonizePathChar*>(job.wideInput.c_str()),
                     reinterpret_cast<const PavonizePathChar*>(job.wideOutput.c_str())) !=
                PAVONIZE_DONE) {
            _exit(1);
        }
        if (!request.chosenPalette.empty()) {
            int error = WriteChosenColours(job.output, request.chosenPalette);
            if (error != 0) {
                SendRecord(kColoursFailed, i, error);
                _exit(1);
            }
        }
    }
    std::fflush(stdout);
    _exit(0);
}

// The parent's side of the child's standard output: library text goes on to
// standard output (none with -q) and is kept for the image it belongs to;
// records are taken out.
class ChildStream {
public:
    ChildStream(const HostRequest& request, Progress* progress, ChildOutcome* outcome)
        : request_(request), progress_(progress), outcome_(outcome)
    {
    }

    void Take(const char* bytes, size_t count)
    {
        size_t at = 0;
        while (at < count) {
            if (!record_.empty()) {
                size_t wanted = std::min(kRecordBytes - record_.size(), count - at);
                record_.append(bytes + at, wanted);
                at += wanted;
                if (record_.size() == kRecordBytes) {
                    TakeRecord();
                    record_.clear();
                }
                continue;
            }
            const void* mark = std::memchr(bytes + at, kRecordMark, count - at);
            size_t textEnd = mark == nullptr ? count : static_cast<const char*>(mark) - bytes;
            if (textEnd > at) {
                if (!request_.quiet) {
                    WriteStandardOutput(bytes + at, textEnd - at);
                }
                outcome_->lastText.append(bytes + at, textEnd - at);
            }
            at = textEnd;
            if (mark != nullptr) {
                record_.push_back(kRecordMark);
                ++at;
            }
        }
    }

private:
    void TakeRecord()
    {
        uint64_t index = 0;
        int32_t error = 0;
        std::memcpy(&index, record_.data() + 2, sizeof index);
        std::memcpy(&error, record_.data() + 2 + sizeof index, sizeof error);
        if (record_[1] == kImageBegins && index < request_.jobs.size()) {
            outcome_->began = true;
            outcome_->lastBegun = static_cast<size_t>(index);
            outcome_->lastText.clear();
            ShowProgress(progress_, outcome_->lastBegun, request_);
        } else if (record_[1] == kColoursFailed) {
            outcome_->colourError = error;
        }
    }

    const HostRequest& request_;
    Progress* progress_;
    ChildOutcome* outcome_;
    std::string record_;  // a record read in part
};

bool RunChildFrom(PavonizeFunction pavonize, const HostRequest& request, size_t first,
                  Progress* progress, ChildOutcome* outcome)
{
    // Not inherited by anything the library might start. The host has one
    // thread, so setting close-on-exec after pipe() leaves no gap.
    int output[2];
    if (pipe(output) != 0) {
        std::fprintf(stderr, "pavonize: cannot start the recolouring: %s\n", std::strerror(errno));
        return false;
    }
    fcntl(output[0], F_SETFD, FD_CLOEXEC);
    fcntl(output[1], F_SETFD, FD_CLOEXEC);
    std::fflush(nullptr);  // nothing buffered is written twice
    pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "pavonize: cannot start the recolouring: %s\n", std::strerror(errno));
        close(output[0]);
        close(output[1]);
        return false;
    }
    if (child == 0) {
        close(output[0]);
        RunChild(pavonize, request, first, output[1]);
    }
    close(output[1]);
    ChildStream stream(request, progress, outcome);
    char buffer[1 << 14];
    for (;;) {
        ssize_t got = read(output[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        stream.Take(buffer, static_cast<size_t>(got));
    }
    close(output[0]);
    while (waitpid(child, &outcome->waitStatus, 0) < 0 && errno == EINTR) {
    }
    return true;
}

// A library message as one line: without its line feed.
std::string_view Line(std::string_view message)
{
    return message.substr(0, message.find('\n'));
}

// The library's last message for the image, and where the OS gave one, its
// words: asked of the path now, with the same rights as the child had.
std::string FailureReason(const ImageJob& job, const ChildOutcome& outcome)
{
    if (outcome.colourError != 0) {
        return std::string(Line(kMessageWriteFailed)) + ": " + QuotedName(job.output) + ": " +
               (outcome.colourError == kNotTheSavedImage
                    ? "no longer the image just saved, so its colours were not set"
                    : std::strerror(outcome.colourError));
    }
    if (WIFSIGNALED(outcome.waitStatus)) {
        return "not recoloured (ended by signal " + std::to_string(WTERMSIG(outcome.waitStatus)) +
               ")";
    }
    std::string_view text = outcome.lastText;
    if (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    std::string reason(text.substr(text.find_last_of('\n') + 1));
    std::string osReason;
    if (reason == Line(kMessageInputFailed)) {
        osReason = InputProblem(job.input);
    } else if (reason == Line(kMessageOutputFailed)) {
        reason += ": " + QuotedName(job.output);
        osReason = OutputProblem(job.output);
    } else if (reason.empty() || reason == Line(kMessageLoaded) || reason == Line(kMessageSaved)) {
        reason = "not recoloured";
    }
    return osReason.empty() ? reason : reason + ": " + osReason;
}

void ReportFailure(const ImageJob& job, const ChildOutcome& outcome)
{
    std::fprintf(stderr, "pavonize: %s: %s\n", QuotedName(job.input).c_str(),
                 FailureReason(job, outcome).c_str());
    if (outcome.colourError == 0) {
        std::fputs(ConversionHint(job.input).c_str(), stderr);
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
        ReportFailure(request.jobs[outcome.lastBegun], outcome);
        ++failures;
        next = outcome.lastBegun + 1;
        if (request.stopAtFailure && next < total) {
            std::fprintf(stderr, "pavonize: stopped: %zu of %zu images were not processed\n",
                         total - next, total);
            return 1;
        }
    }
    if (failures > 0 && total > 1) {
        std::fprintf(stderr, "pavonize: %zu of %zu images failed\n", failures, total);
    }
    return failures > 0 ? 1 : 0;
}
