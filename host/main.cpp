// pavonize: the command-line host. Checks the whole command line and every
// path first, loads the recolouring library through the framework's loader
// (so its attach and detach run around the run), and recolours the images
// in this process through its calls (batch_run.h, image_routes.h). Standard output
// carries only the library's messages, and what fails to reach it fails the
// run; the program's own words about images go to standard error.
#include <csignal>
#include <cstdio>
#include <string>

#include "batch_run.h"
#include "command_line.h"
#include "library_location.h"
#include "library_report.h"
#include "loader.h"
#include "path_checks.h"
#include "standard_output.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int UsageError(const std::string& problem)
{
    std::fprintf(stderr, "pavonize: %s\n%sTry 'pavonize --help' for more information.\n",
                 problem.c_str(), kUsage);
    return kExitUsage;
}

LoadedLibrary* LoadRecolouringLibrary()
{
    std::string path;
    std::string problem;
    if (!LibraryPathNearHost(ORVANEPAVONIZE_LIBRARY_FILE, &path, &problem)) {
        std::fprintf(stderr,
                     "pavonize: cannot find the recolouring library: the location of this "
                     "program is unknown (%s)\n",
                     problem.c_str());
        return nullptr;
    }
    LoadedLibrary* library = LoaderLoadLibrary(path.c_str());
    if (library == nullptr) {
        std::fprintf(stderr, "pavonize: cannot load the recolouring library: %s\n",
                     LoaderLastProblem());
    }
    return library;
}

using LibraryReport = int (*)(LoadedLibrary* library);

int ReportOnLibrary(LibraryReport report)
{
    LoadedLibrary* library = LoadRecolouringLibrary();
    if (library == nullptr) {
        return kExitFailure;
    }
    int status = report(library);
    FlushStandardOutput();
    LoaderUnloadLibrary(library);
    return FinishStandardOutput(status);
}

int Recolour(const HostRequest& request)
{
    LoadedLibrary* library = LoadRecolouringLibrary();
    if (library == nullptr) {
        return kExitFailure;
    }
    RecolouringCalls calls;
    std::string missing;
    if (!FindRecolouringCalls(library, &calls, &missing)) {
        std::fprintf(stderr, "pavonize: the library exports no %s\n", missing.c_str());
        LoaderUnloadLibrary(library);
        return kExitFailure;
    }
    int status = RunBatch(calls, request);
    LoaderUnloadLibrary(library);
    return FinishStandardOutput(status);
}

}  // namespace

int main(int argc, char** argv)
{
    // A closed pipe or a file-size limit then fails the write, which is
    // reported as a write failure, instead of killing the process silently.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    KeepStandardStreamsOpen();

    HostRequest request;
    std::string problem;
    if (!ParseCommandLine(argc, argv, &request, &problem)) {
        return UsageError(problem);
    }
    switch (request.action) {
    case HostAction::Help:
        std::fputs(kUsage, stdout);
        std::fputs("\n", stdout);
        std::fputs(kHelp, stdout);
        return FinishStandardOutput(0);
    case HostAction::Version:
        return ReportOnLibrary(ShowVersion);
    case HostAction::About:
        return ReportOnLibrary(ShowAbout);
    case HostAction::Recolour:
        break;
    }
    if (!CheckPathsBeforeWork(request, &problem)) {
        std::fprintf(stderr, "pavonize: %s\n", problem.c_str());
        return kExitUsage;
    }
    return Recolour(request);
}
