#include "batch_run.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sched.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "image_formats.h"
#include "progress.h"
#include "quoting.h"
#include "recolour/messages.h"
#include "standard_output.h"

namespace {

// What the workers share with the thread that reports: the next image to
// take, whether to take more, and each image's outcome once it is known.
struct Batch {
    Batch(const HostRequest& request, const RecolouringCalls& calls)
        : request(request),
          calls(calls),
          done(request.jobs.size(), false),
          outcomes(request.jobs.size())
    {
    }

    const HostRequest& request;
    const RecolouringCalls& calls;
    std::mutex lock;
    std::condition_variable finished;
    size_t next = 0;
    bool stopTaking = false;
    std::vector<bool> done;
    std::vector<ImageOutcome> outcomes;
};

// Takes the next image, if there is one to take, and recolours it with the
// lock released; false when there is none.
bool RecolourNextImage(Batch* batch, std::unique_lock<std::mutex>* guard)
{
    if (batch->stopTaking || batch->next >= batch->request.jobs.size()) {
        return false;
    }
    const uint8_t* colours =
        batch->request.chosenColours.empty() ? nullptr : batch->request.chosenColours.data();
    size_t index = batch->next++;
    const ImageJob& job = batch->request.jobs[index];
    guard->unlock();
    ImageOutcome outcome = RecolourImage(batch->calls, job, colours);
    guard->lock();
    batch->outcomes[index] = outcome;
    batch->done[index] = true;
    // Set here, before this thread could take another image.
    if (outcome.status.problem != PAVONIZE_OK && batch->request.stopAtFailure) {
        batch->stopTaking = true;
    }
    batch->finished.notify_all();
    return true;
}

void Work(Batch* batch)
{
    std::unique_lock<std::mutex> guard(batch->lock);
    while (RecolourNextImage(batch, &guard)) {
    }
}

// Pavonize's loaded message, "BMP image loaded successfully!", naming the
// format the input was read as instead.
std::string LoadedLine(const char* format)
{
    std::string line = kMessageLoaded;
    return line.replace(0, line.find(' '), format);
}

// What Pavonize would have printed for the image: the loaded message when
// the input was read (naming the format it was read as), then the saved
// message or the failure's own. The output failure's message has never
// ended in a line feed.
std::string LibraryLines(const ImageOutcome& outcome)
{
    const PavonizeStatus& status = outcome.status;
    std::string loaded = LoadedLine(outcome.format);
    if (status.problem == PAVONIZE_OK) {
        return loaded + kMessageSaved;
    }
    std::string lines = status.problem == PAVONIZE_OUTPUT_FAILED ? loaded : "";
    lines += status.message;
    if (std::strcmp(status.message, kMessageOutputFailed) != 0) {
        lines += '\n';
    }
    return lines;
}

// "pavonize: INPUT: MESSAGE", the output's name where the output failed,
// and the system's words where a system call failed.
void ReportFailure(const ImageJob& job, const ImageOutcome& outcome)
{
    const PavonizeStatus& status = outcome.status;
    std::string reason = status.message;
    if (status.problem == PAVONIZE_OUTPUT_FAILED) {
        reason += ": " + QuotedName(job.output);
    }
    if (status.osError != 0) {
        reason += std::string(": ") + std::strerror(status.osError);
    }
    std::fprintf(stderr, "pavonize: %s: %s\n", QuotedName(job.input).c_str(), reason.c_str());
    // Only an input the library read can be another format or depth to
    // convert first.
    if (outcome.readByLibrary && (status.problem == PAVONIZE_INPUT_MALFORMED ||
                                  status.problem == PAVONIZE_INPUT_UNSUPPORTED)) {
        std::fputs(ConversionHint(job.input).c_str(), stderr);
    }
}

size_t WorkerCount(const HostRequest& request)
{
    size_t workers = request.jobsAtOnce;
    if (workers == 0) {
        cpu_set_t cores;
        workers = sched_getaffinity(0, sizeof cores, &cores) == 0 ? CPU_COUNT(&cores) : 1;
    }
    return std::max<size_t>(1, std::min(workers, request.jobs.size()));
}

}  // namespace

int RunBatch(const RecolouringCalls& calls, const HostRequest& request)
{
    const size_t total = request.jobs.size();
    Batch batch(request, calls);
    // One image at a time needs no other thread: this one recolours each
    // image itself, right before it reports it.
    std::vector<std::thread> workers;
    for (size_t count = WorkerCount(request); count > 1 && workers.size() < count;) {
        workers.emplace_back(Work, &batch);
    }

    // This thread reports, in the order of the command line, each image as
    // soon as it and every image before it are done.
    Progress progress{.enabled = request.quiet && total > 1 && isatty(STDERR_FILENO) == 1};
    size_t failures = 0;
    size_t reported = 0;
    std::unique_lock<std::mutex> guard(batch.lock);
    auto neverTaken = [&] { return batch.stopTaking && reported >= batch.next; };
    while (reported < total) {
        ShowProgress(&progress, reported, request);
        if (workers.empty()) {
            RecolourNextImage(&batch, &guard);
        }
        batch.finished.wait(guard, [&] { return batch.done[reported] || neverTaken(); });
        if (!batch.done[reported]) {
            break;  // stopped before this image was taken
        }
        ImageOutcome outcome = batch.outcomes[reported];
        guard.unlock();
        if (!request.quiet) {
            std::string lines = LibraryLines(outcome);
            WriteStandardOutput(lines.data(), lines.size());
        }
        if (outcome.status.problem != PAVONIZE_OK) {
            ClearProgress(&progress);
            ReportFailure(request.jobs[reported], outcome);
            ++failures;
        }
        guard.lock();
        ++reported;
    }
    guard.unlock();
    for (std::thread& worker : workers) {
        worker.join();
    }
    ClearProgress(&progress);
    if (reported < total) {
        std::fprintf(stderr, "pavonize: stopped: %zu of %zu images were not processed\n",
                     total - reported, total);
        return 1;
    }
    if (failures > 0 && total > 1) {
        std::fprintf(stderr, "pavonize: %zu of %zu images failed\n", failures, total);
    }
    return failures > 0 ? 1 : 0;
}
