// What pavonize was asked to do: parsed from its arguments, checked before
// any image is touched.
#pragma once

#include <string>
#include <vector>

struct ImageJob {
    std::string input;
    std::string output;
    std::u16string wideInput;
    std::u16string wideOutput;
};

enum class HostAction { Recolour, Help, Version, About };

struct HostRequest {
    HostAction action = HostAction::Recolour;
    std::vector<ImageJob> jobs;
    std::string outputDirectory;  // set only for -o DIR
    bool keepGoing = false;
    bool quiet = false;
};

extern const char kUsage[];
extern const char kHelp[];

// Reads the options and the paths and turns them into one job per image.
// False, with `problem` set, when the command line is wrong; nothing in the
// file system is looked at here.
bool ParseCommandLine(int argc, char** argv, HostRequest* request, std::string* problem);

// The checks that need the file system, all made before the first image:
// the output folder exists, no output of -o is one of the inputs, and no
// output is the process's own standard output.
bool CheckPathsBeforeWork(const HostRequest& request, std::string* problem);
