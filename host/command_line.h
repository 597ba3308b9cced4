// What pavonize was asked to do: parsed from its arguments, checked before
// any image is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ImageJob {
    std::string input;
    std::string output;
    std::u16string wideInput;
    std::u16string wideOutput;
};

enum class HostAction { Recolour, Help, Version, About };

// How the paths were given: INPUT OUTPUT, --pairs, -o DIR or --in-place.
enum class BatchForm { OneImage, Pairs, OutputDirectory, InPlace };

// Palette entries 0-3 as the file holds them: blue, green, red, 0 each.
constexpr size_t kChosenPaletteBytes = 16;

struct HostRequest {
    HostAction action = HostAction::Recolour;
    BatchForm form = BatchForm::OneImage;
    std::vector<ImageJob> jobs;
    std::string outputDirectory;  // set only for -o DIR
    bool stopAtFailure = false;   // -S; the default, and -k, go on
    bool quiet = false;
    // --colours: set in every output after the library's save; empty
    // leaves the colours the library drew.
    std::vector<uint8_t> chosenPalette;
};

extern const char kUsage[];
extern const char kHelp[];

// Reads the options and the paths and turns them into one job per image.
// False, with `problem` set, when the command line is wrong; nothing in the
// file system is looked at here.
bool ParseCommandLine(int argc, char** argv, HostRequest* request, std::string* problem);
