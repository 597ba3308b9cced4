// What pavonize was asked to do: parsed from its arguments, checked before
// any image is touched.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One image: the paths as given, byte strings passed to the library
// unchanged.
struct ImageJob {
    std::string input;
    std::string output;
};

enum class HostAction { Recolour, Help, Version, About };

// How the paths were given: INPUT OUTPUT, --pairs, -o DIR or --in-place.
enum class BatchForm { OneImage, Pairs, OutputDirectory, InPlace };

// --colours as the library takes them: red, green, blue of bands 0-3.
constexpr size_t kChosenColoursBytes = 12;

// The most images -j recolours at once: far past any machine's cores, and
// a bound on the threads a typing slip can start.
constexpr size_t kMaxJobsAtOnce = 1024;

struct HostRequest {
    HostAction action = HostAction::Recolour;
    BatchForm form = BatchForm::OneImage;
    std::vector<ImageJob> jobs;
    std::string outputDirectory;  // set only for -o DIR
    bool stopAtFailure = false;   // -S; the default, and -k, go on
    bool quiet = false;
    size_t jobsAtOnce = 1;  // -j N; 0: one per core
    // --colours, handed to the library for every image; empty lets it draw.
    std::vector<uint8_t> chosenColours;
};

extern const char kUsage[];
extern const char kHelp[];

// Reads the options and the paths and turns them into one job per image.
// False, with `problem` set, when the command line is wrong; nothing in the
// file system is looked at here.
bool ParseCommandLine(int argc, char** argv, HostRequest* request, std::string* problem);
