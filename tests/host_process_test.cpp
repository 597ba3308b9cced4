// The command line as a user or a calling program meets it: real processes,
// their standard output and error, their exit status and the files they
// leave. One table holds every form and option; the cases that need a
// resource limit or special files follow it.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <linux/fs.h>
#include <map>
#include <poll.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

#include "program_launcher.h"
#include "support/bmp_builder.h"
#include "support/bmp_variants.h"
#include "support/expected_band.h"
#include "support/expected_identity.h"
#include "support/expected_messages.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace expected_messages;

const std::string kDepthRefusal = DepthRefusal(24);
const std::string kConvertOptions = " -colorspace Gray +dither -type Palette -compress RLE ";
// Palette entries 0-3 of a process's first image, as blue, green, red:
// #8FE246, #7DF123, #5159C3, #7F236F.
const Bytes kFirstColours = {0x46, 0xE2, 0x8F, 0, 0x23, 0xF1, 0x7D, 0,
                             0xC3, 0x59, 0x51, 0, 0x6F, 0x23, 0x7F, 0};
// --colours as users write it, and the entries it must give.
const std::string kChosenList = "#102030,405060,708090,A0b0C0";
const Bytes kChosenColours = {0x30, 0x20, 0x10, 0, 0x60, 0x50, 0x40, 0,
                              0x90, 0x80, 0x70, 0, 0xC0, 0xB0, 0xA0, 0};
// A name that would set a terminal's title, and how standard error shows it.
const std::string kTitleName = "e\x1B]0;x\a.bmp";
const std::string kTitleNameQuoted = "'e'$'\\033'']0;x'$'\\a''.bmp'";

ProcessResult Pavonize(const std::vector<std::string>& arguments,
                       const ProcessOptions& options = {})
{
    std::vector<std::string> argv{PAVONIZE_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunBuiltProgram(argv, options);
}

// 5 x 3 greys; pixel (x, y) is 50x + y, so each row spans all four bands.
Bytes SmallImage()
{
    BmpLayout layout{.width = 5,
                     .height = 3,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(5, 3, [](int x, int y) { return 50 * x + y; })};
    return BuildBmp(layout);
}

Bytes SmallImageBands()
{
    return MakeRows(5, 3, [](int x, int y) { return ExpectedBand(50 * x + y); });
}

// The files every case starts from, in its own folder.
void WriteFixture(const ScratchDirectory& scratch)
{
    for (const char* name : {"a.bmp", "b.bmp", "--dash.bmp", "sub/a.bmp"}) {
        fs::create_directories(fs::path(scratch.Path(name)).parent_path());
        WriteFileBytes(scratch.Path(name), SmallImage());
    }
    WriteFileBytes(scratch.Path("rgb.bmp"),
                   BuildBmp({.width = 2, .height = 1, .bitCount = 24, .rows = Bytes(8, 0x80)}));
    Bytes cut = SmallImage();
    cut.pop_back();
    WriteFileBytes(scratch.Path("cut.bmp"), cut);
    WriteFileBytes(scratch.Path("old.bmp"), {1, 2, 3});
    fs::create_directory(scratch.Path("out"));
    // Two more names for sub/a.bmp.
    fs::create_symlink("a.bmp", scratch.Path("sub/link.bmp"));
    fs::create_hard_link(scratch.Path("sub/a.bmp"), scratch.Path("sub/twin.bmp"));
    // Readable by its owner only.
    WriteFileBytes(scratch.Path("secret.bmp"), SmallImage());
    fs::permissions(scratch.Path("secret.bmp"), fs::perms::owner_read | fs::perms::owner_write);
    // Images of other formats under a BMP name: their signatures and a little more.
    const std::pair<const char*, std::string> kForeign[] = {
        {"png.bmp", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)},
        {"jpeg.bmp", "\xFF\xD8\xFF\xE0\0\x10JFIF"},
        {"gif.bmp", "GIF89a\x05\0\x03\0"},
        {"tiff.bmp", std::string("II*\0\x08\0\0\0", 8)},
        {"webp.bmp", std::string("RIFF\x1A\0\0\0WEBPVP8 ", 16)},
        {"pbm.bmp", "P4\n5 3\n"},
        // Formats read here, one damaged and one whole, under any name.
        {"cut.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)},
        {"grey.pgm", std::string("P5\n5 3\n255\n") + std::string(15, '\x80')},
    };
    for (const auto& [name, bytes] : kForeign) {
        WriteFileBytes(scratch.Path(name), Bytes(bytes.begin(), bytes.end()));
    }
}

// Every file under the folder, by relative path.
std::map<std::string, Bytes> Snapshot(const ScratchDirectory& scratch)
{
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(scratch.path())) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), scratch.path()).string()] =
                ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

// Files made or changed, and "-name" for files gone.
std::vector<std::string> Changes(const std::map<std::string, Bytes>& before,
                                 const std::map<std::string, Bytes>& after)
{
    std::vector<std::string> changes;
    for (const auto& [name, bytes] : after) {
        auto old = before.find(name);
        if (old == before.end() || old->second != bytes) {
            changes.push_back(name);
        }
    }
    for (const auto& [name, bytes] : before) {
        if (after.count(name) == 0) {
            changes.push_back("-" + name);
        }
    }
    return changes;
}

// Running pavonize with /proc hidden needs a mount namespace of its own.
bool CanHideProc()
{
    return geteuid() == 0 && kProgramLauncher.empty() &&
           RunProcess({"/usr/bin/unshare", "-m", "/bin/sh", "-c", "mount -t tmpfs none /proc"})
                   .exitStatus == 0;
}

struct CommandCase {
    std::string name;
    std::vector<std::string> arguments;  // run in the fixture's folder
    int status = 0;
    std::string out;                         // standard output, exactly
    std::vector<std::string> errHas;         // none: standard error stays empty
    std::vector<std::string> changed;        // files made or changed; all else untouched
    std::vector<std::string> firstDraw;      // changed images with a process's first colours
    std::vector<std::string> laterDraw;      // changed images with later colours
    std::vector<std::string> errLacks;       // fragments standard error must not hold
    std::vector<std::string> chosenColours;  // changed images with kChosenColours
    bool outIsFragment = false;              // `out` need only be part of standard output
    bool errorTerminal = false;              // standard error on a pseudo-terminal
    bool asNobody = false;                   // run as nobody: needs root
    StandardOutputKind standardOutput = StandardOutputKind::Pipe;
    bool plantedLibraryWithoutProc = false;
};

void PrintTo(const CommandCase& row, std::ostream* os)
{
    *os << row.name;
}

const std::string kUsageError = "Try 'pavonize --help'";

const CommandCase kCases[] = {
    // The four forms.
    {.name = "OneImage",
     .arguments = {"a.bmp", "new.bmp"},
     .out = kSuccess,
     .changed = {"new.bmp"},
     .firstDraw = {"new.bmp"}},
    {.name = "OneImageSamePath",
     .arguments = {"a.bmp", "a.bmp"},
     .out = kSuccess,
     .changed = {"a.bmp"},
     .firstDraw = {"a.bmp"}},
    {.name = "PairsTakeTheNextColours",
     .arguments = {"--pairs", "a.bmp", "x.bmp", "a.bmp", "y.bmp"},
     .out = kSuccess + kSuccess,
     .changed = {"x.bmp", "y.bmp"},
     .firstDraw = {"x.bmp"},
     .laterDraw = {"y.bmp"}},
    {.name = "OutputDirectory",
     .arguments = {"-o", "out", "a.bmp", "b.bmp"},
     .out = kSuccess + kSuccess,
     .changed = {"out/a.bmp", "out/b.bmp"},
     .firstDraw = {"out/a.bmp"},
     .laterDraw = {"out/b.bmp"}},
    {.name = "OutputDirectoryLong",
     .arguments = {"--output-dir=out/", "sub/a.bmp"},
     .out = kSuccess,
     .changed = {"out/a.bmp"}},
    {.name = "InPlace",
     .arguments = {"--in-place", "a.bmp", "b.bmp"},
     .out = kSuccess + kSuccess,
     .changed = {"a.bmp", "b.bmp"},
     .firstDraw = {"a.bmp"},
     .laterDraw = {"b.bmp"}},
    {.name = "DoubleDashEndsOptions",
     .arguments = {"--", "--dash.bmp", "x.bmp"},
     .out = kSuccess,
     .changed = {"x.bmp"}},

    // Command lines that touch nothing.
    {.name = "GlobOfFourIsRefused",
     .arguments = {"a.bmp", "b.bmp", "cut.bmp", "rgb.bmp"},
     .status = 2,
     .errHas = {"4 paths given", "--pairs INPUT OUTPUT...", "-o DIR INPUT...",
                "--in-place INPUT..."}},
    {.name = "NoPath", .status = 2, .errHas = {"no image given", "usage: pavonize", kUsageError}},
    {.name = "OnePath", .arguments = {"a.bmp"}, .status = 2, .errHas = {"an OUTPUT is needed"}},
    {.name = "PairsOfOddCount",
     .arguments = {"--pairs", "a.bmp", "x.bmp", "b.bmp"},
     .status = 2,
     .errHas = {"3 paths were given"}},
    {.name = "TwoForms",
     .arguments = {"--in-place", "-o", "out", "a.bmp"},
     .status = 2,
     .errHas = {"only one of"}},
    {.name = "OutputDirectorySameNames",
     .arguments = {"-o", "out", "a.bmp", "sub/a.bmp"},
     .status = 2,
     .errHas = {"a.bmp and sub/a.bmp would both be written to out/a.bmp"}},
    {.name = "OutputDirectoryOwnInput",
     .arguments = {"-o", "sub/..", "b.bmp"},
     .status = 2,
     .errHas = {"sub/../b.bmp would overwrite the input b.bmp"}},
    {.name = "PairsOutputIsAnotherPairsInput",
     .arguments = {"--pairs", "a.bmp", "sub/twin.bmp", "sub/a.bmp", "x.bmp"},
     .status = 2,
     .errHas = {"the output sub/twin.bmp of pair 1 is the input sub/a.bmp of pair 2"}},
    {.name = "PairsNewOutputIsALaterInput",
     .arguments = {"--pairs", "a.bmp", "x.bmp", "./x.bmp", "y.bmp"},
     .status = 2,
     .errHas = {"the output x.bmp of pair 1 is the input ./x.bmp of pair 2"}},
    {.name = "PairsOutputsThatAreOneFile",
     .arguments = {"--pairs", "a.bmp", "sub/../o.bmp", "b.bmp", "o.bmp"},
     .status = 2,
     .errHas = {"the outputs sub/../o.bmp and o.bmp of pairs 1 and 2 are the same file"}},
    {.name = "InPlaceNamesAFileTwice",
     .arguments = {"--in-place", "a.bmp", "./a.bmp"},
     .status = 2,
     .errHas = {"a.bmp and ./a.bmp are the same file"}},
    {.name = "InPlaceNamesAFileByItsLinks",
     .arguments = {"--in-place", "sub/link.bmp", "b.bmp", "sub/twin.bmp"},
     .status = 2,
     .errHas = {"sub/link.bmp and sub/twin.bmp are the same file"}},
    {.name = "OutputDirectoryMissing",
     .arguments = {"-o", "nowhere", "a.bmp"},
     .status = 2,
     .errHas = {"nowhere: No such file"}},
    {.name = "OutputDirectoryIsAFile",
     .arguments = {"-o", "old.bmp", "a.bmp"},
     .status = 2,
     .errHas = {"old.bmp: not a directory"}},
    {.name = "DashIsNoPath",
     .arguments = {"a.bmp", "-"},
     .status = 2,
     .errHas = {"'-' is not accepted as a path"}},
    {.name = "StandardOutputIsNoOutput",
     .arguments = {"a.bmp", "/dev/stdout"},
     .status = 2,
     .errHas = {"/dev/stdout is standard output"}},
    {.name = "JobsThatAreNotANumber",
     .arguments = {"-j", "two", "a.bmp", "x.bmp"},
     .status = 2,
     .errHas = {"-j takes a number of images at a time, 0 to 1024", "not two", kUsageError}},
    {.name = "JobsPastTheLimit",
     .arguments = {"--jobs=1025", "a.bmp", "x.bmp"},
     .status = 2,
     .errHas = {"not 1025"}},
    {.name = "UnknownLongOption",
     .arguments = {"--frobnicate", "a.bmp", "x.bmp"},
     .status = 2,
     .errHas = {"unknown option --frobnicate", kUsageError}},
    {.name = "UnknownShortOption",
     .arguments = {"-x", "a.bmp", "x.bmp"},
     .status = 2,
     .errHas = {"unknown option -x"}},
    {.name = "OptionWithoutItsValue",
     .arguments = {"a.bmp", "-o"},
     .status = 2,
     .errHas = {"option -o needs a value"}},
    {.name = "ColoursOfTheWrongCount",
     .arguments = {"--colours", "102030,405060,708090", "a.bmp", "x.bmp"},
     .status = 2,
     .errHas = {"--colours takes four colours", "3 given", kUsageError}},
    {.name = "ColourThatIsNotHex",
     .arguments = {"--colors=102030,405060,708090,#12345G", "a.bmp", "x.bmp"},
     .status = 2,
     .errHas = {"'#12345G' is not one"}},
    {.name = "VersionTakesNoPaths",
     .arguments = {"--version", "a.bmp"},
     .status = 2,
     .errHas = {"--version takes no other arguments"}},

    // Help and version on standard output.
    {.name = "Help",
     .arguments = {"--help"},
     .out = "usage: pavonize [OPTIONS] INPUT OUTPUT\n",
     .outIsFragment = true},
    {.name = "HelpShortWinsOverPaths",
     .arguments = {"a.bmp", "-h"},
     .out = "BMP3:grey.bmp",
     .outIsFragment = true},
    {.name = "VersionShort",
     .arguments = {"-V"},
     .out = std::string("pavonize (OrvanePavonize) ") + expected_identity::kVersion + "\n" +
            expected_identity::kVersionStrings[4].value + "\n" +
            "License MIT <https://opensource.org/license/mit>.\n"
            "This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.\n"},

    // What was meant for standard output and did not reach it fails the
    // run, once the images are done; a closed one is not taken for /dev/null.
    {.name = "FullStandardOutputFailsTheRun",
     .arguments = {"a.bmp", "new.bmp"},
     .status = 1,
     .errHas = {"pavonize: write error: No space left on device\n"},
     .changed = {"new.bmp"},
     .standardOutput = StandardOutputKind::Full},
    {.name = "ClosedStandardOutputFailsTheRun",
     .arguments = {"a.bmp", "new.bmp"},
     .status = 1,
     .errHas = {"pavonize: write error: Bad file descriptor\n"},
     .changed = {"new.bmp"},
     .standardOutput = StandardOutputKind::Closed},
    {.name = "QuietNeedsNoStandardOutput",
     .arguments = {"-q", "a.bmp", "new.bmp"},
     .changed = {"new.bmp"},
     .standardOutput = StandardOutputKind::Closed},
    {.name = "HelpToAFullStandardOutput",
     .arguments = {"--help"},
     .status = 1,
     .errHas = {"write error: No space left on device"},
     .standardOutput = StandardOutputKind::Full},
    {.name = "VersionToAClosedStandardOutput",
     .arguments = {"--version"},
     .status = 1,
     .errHas = {"write error: Bad file descriptor"},
     .standardOutput = StandardOutputKind::Closed},
    {.name = "AboutToAFullStandardOutput",
     .arguments = {"--about"},
     .status = 1,
     .errHas = {"write error: No space left on device"},
     .standardOutput = StandardOutputKind::Full},

    // Failed images: the library's message on standard output, the image
    // named on standard error with the message and the OS's reason.
    {.name = "MissingInput",
     .arguments = {"missing.bmp", "new.bmp"},
     .status = 1,
     .out = kInputFailed,
     .errHas = {"pavonize: missing.bmp: " + Reason(kInputFailed) + ": No such file or directory\n"},
     .errLacks = {"convert", "images"}},
    {.name = "OutputInMissingFolder",
     .arguments = {"a.bmp", "no/such/dir.bmp"},
     .status = 1,
     .out = kOutputRefused,
     .errHas = {"pavonize: a.bmp: " + kOutputFailed +
                ": no/such/dir.bmp: No such file or directory\n"}},
    {.name = "FolderAsOutput",
     .arguments = {"a.bmp", "out"},
     .status = 1,
     .out = kOutputRefused,
     .errHas = {"pavonize: a.bmp: " + kOutputFailed + ": out: Is a directory\n"}},
    {.name = "UnreadableInputAndUnwritableFolderSayWhy",
     .arguments = {"--pairs", "secret.bmp", "x.bmp", "a.bmp", "new.bmp"},
     .status = 1,
     .out = kInputFailed + kOutputRefused,
     .errHas = {"pavonize: secret.bmp: " + Reason(kInputFailed) + ": Permission denied\n",
                "pavonize: a.bmp: " + kOutputFailed + ": new.bmp: Permission denied\n",
                "pavonize: 2 of 2 images failed\n"},
     .asNobody = true},
    {.name = "RefusedInputKeepsTheOldOutput",
     .arguments = {"cut.bmp", "old.bmp"},
     .status = 1,
     .out = kTruncated,
     .errHas = {"pavonize: cut.bmp: " + kTruncated},
     .errLacks = {"convert"}},
    {.name = "DepthRefusalGivesTheConversion",
     .arguments = {"rgb.bmp", "new.bmp"},
     .status = 1,
     .out = kDepthRefusal,
     .errHas = {"pavonize: rgb.bmp: " + kDepthRefusal, "rgb.bmp is a 24-bit BMP image",
                "  convert BMP:rgb.bmp" + kConvertOptions + "BMP3:rgb-grey.bmp\n"}},
    {.name = "FormatsNotReadAreNamedWithTheirConversion",
     .arguments = {"-o", "out", "gif.bmp", "webp.bmp", "pbm.bmp"},
     .status = 1,
     .out = kNotBmp + kNotBmp + kNotBmp,
     .errHas = {"pavonize: gif.bmp: " + kNotBmp, "gif.bmp is a GIF image",
                "  convert GIF:gif.bmp" + kConvertOptions + "BMP3:gif-grey.bmp\n",
                "webp.bmp is a WebP image", "pbm.bmp is a PBM image",
                "  convert PNM:pbm.bmp" + kConvertOptions + "BMP3:pbm-grey.bmp\n",
                "3 of 3 images failed"}},
    // Told by their signature, whatever the name; each output's format
    // follows its own name.
    {.name = "FormatsReadHereAreRecolouredOrRefusedWithTheirReason",
     .arguments = {"-o", "out", "png.bmp", "grey.pgm", "cut.png", "a.bmp"},
     .status = 1,
     .out = "PNG file is truncated\nPNM image loaded successfully!\n" + kSaved +
            "PNG file is truncated\n" + kSuccess,
     .errHas = {"pavonize: png.bmp: PNG file is truncated\n",
                "pavonize: cut.png: PNG file is truncated\n", "2 of 4 images failed"},
     .changed = {"out/a.bmp", "out/grey.pgm"},
     .errLacks = {"convert"}},
    {.name = "PngOutputForAnyInput",
     .arguments = {"--pairs", "a.bmp", "x.PNG", "grey.pgm", "y.png"},
     .out = kSuccess + "PNM image loaded successfully!\n" + kSaved,
     .changed = {"x.PNG", "y.png"}},
    {.name = "StopEndsTheRunAtTheFirstFailure",
     .arguments = {"-S", "--pairs", "a.bmp", "x.bmp", "rgb.bmp", "y.bmp", "b.bmp", "z.bmp"},
     .status = 1,
     .out = kSuccess + kDepthRefusal,
     .errHas = {"pavonize: rgb.bmp: " + kDepthRefusal, "1 of 3 images were not processed"},
     .changed = {"x.bmp"}},
    {.name = "BatchGoesOnPastAFailureWithOneColourSequence",
     .arguments = {"--pairs", "a.bmp", "x.bmp", "rgb.bmp", "y.bmp", "b.bmp", "z.bmp"},
     .status = 1,
     .out = kSuccess + kDepthRefusal + kSuccess,
     .errHas = {"pavonize: rgb.bmp: " + kDepthRefusal, "pavonize: 1 of 3 images failed\n"},
     .changed = {"x.bmp", "z.bmp"},
     .firstDraw = {"x.bmp"},
     .laterDraw = {"z.bmp"},
     .errLacks = {"not processed"}},
    // Paths are byte strings, passed on as they are.
    {.name = "PathsNeedNotBeUtf8",
     .arguments = {"--pairs", "a.bmp", "x.bmp", "a.bmp", "bad\xC3(.bmp"},
     .out = kSuccess + kSuccess,
     .changed = {"bad\xC3(.bmp", "x.bmp"},
     .firstDraw = {"x.bmp"},
     .laterDraw = {"bad\xC3(.bmp"}},

    // Several images at a time: standard output and error in the order
    // given, whichever image finishes first.
    {.name = "JobsReportInTheOrderGiven",
     .arguments = {"-j", "3", "--colours", kChosenList, "--pairs", "a.bmp", "x.bmp", "rgb.bmp",
                   "y.bmp", "cut.bmp", "w.bmp", "b.bmp", "z.bmp"},
     .status = 1,
     .out = kSuccess + kDepthRefusal + kTruncated + kSuccess,
     .errHas = {"pavonize: rgb.bmp: " + kDepthRefusal + "pavonize: rgb.bmp is a 24-bit BMP image",
                "\npavonize: cut.bmp: " + Reason(kTruncated) +
                    "\npavonize: 2 of 4 images failed\n"},
     .changed = {"x.bmp", "z.bmp"},
     .chosenColours = {"x.bmp", "z.bmp"}},
    // An image already begun when another fails is finished and reported.
    {.name = "JobsForEveryCoreFinishWhatTheyBegan",
     .arguments = {"-j0", "-S", "--pairs", "a.bmp", "x.bmp", "rgb.bmp", "y.bmp"},
     .status = 1,
     .out = kSuccess + kDepthRefusal,
     .errHas = {"pavonize: rgb.bmp: " + kDepthRefusal, "1 of 2 images failed"},
     .changed = {"x.bmp"},
     .firstDraw = {"x.bmp"},
     .errLacks = {"not processed"}},

    // Chosen colours: the same entries in every image, failures between
    // them or not, and the bands as ever.
    {.name = "ChosenColoursInEveryImage",
     .arguments = {"--colours", kChosenList, "--pairs", "a.bmp", "x.bmp", "rgb.bmp", "y.bmp",
                   "b.bmp", "z.bmp"},
     .status = 1,
     .out = kSuccess + kDepthRefusal + kSuccess,
     .errHas = {"1 of 3 images failed"},
     .changed = {"x.bmp", "z.bmp"},
     .chosenColours = {"x.bmp", "z.bmp"}},
    {.name = "ChosenColoursSpeltColors",
     .arguments = {"--colors=102030,#405060,708090,a0b0c0", "-o", "out", "a.bmp"},
     .out = kSuccess,
     .changed = {"out/a.bmp"},
     .chosenColours = {"out/a.bmp"}},
    {.name = "ChosenColoursGoIntoADevice",
     .arguments = {"--colours", kChosenList, "a.bmp", "/dev/null"},
     .out = kSuccess},

    // Quiet, and its progress display on a terminal only. The last of -k
    // and -S counts.
    {.name = "QuietKeepsFailuresOnStandardError",
     .arguments = {"-q", "--stop", "--keep-going", "-o", "out", "a.bmp", "rgb.bmp", "b.bmp"},
     .status = 1,
     .errHas = {"pavonize: rgb.bmp: " + kDepthRefusal, "1 of 3 images failed"},
     .changed = {"out/a.bmp", "out/b.bmp"},
     .errLacks = {"[1/3]"}},
    {.name = "QuietShowsProgressOnATerminal",
     .arguments = {"--quiet", "-o", "out", "a.bmp", "b.bmp"},
     .errHas = {"[1/2] a.bmp", "[2/2] b.bmp"},
     .changed = {"out/a.bmp", "out/b.bmp"},
     .errorTerminal = true},
    {.name = "NamesAreQuotedOnStandardError",
     .arguments = {"--quiet", "-o", "out", "a.bmp", kTitleName},
     .status = 1,
     .errHas = {"[2/2] " + kTitleNameQuoted,
                "pavonize: " + kTitleNameQuoted + ": " + Reason(kInputFailed) + ": No such file"},
     .changed = {"out/a.bmp"},
     .errLacks = {"\a", "\x1B]"},
     .errorTerminal = true},
    {.name = "NoProgressForOneImage",
     .arguments = {"-q", "a.bmp", "x.bmp"},
     .changed = {"x.bmp"},
     .errLacks = {"[1/1]"},
     .errorTerminal = true},

    // With /proc hidden the program cannot know where it lies: it must not
    // fall back on the current folder, where a library has been planted.
    {.name = "PlantedLibraryIsNeverLoaded",
     .arguments = {"a.bmp", "new.bmp"},
     .status = 1,
     .errHas = {"the location of this program is unknown"},
     .plantedLibraryWithoutProc = true},
};

class CommandLineTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLineTest, StatusOutputAndFiles)
{
    const CommandCase& row = GetParam();
    ScratchDirectory scratch;
    WriteFixture(scratch);
    if (row.asNobody) {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root, to run as nobody";
        }
        ASSERT_EQ(chmod(scratch.path().c_str(), 0755), 0);  // nobody may look, not write
    }
    ProcessOptions options{.workingDirectory = scratch.path(),
                           .standardErrorTerminal = row.errorTerminal,
                           .asNobody = row.asNobody,
                           .standardOutput = row.standardOutput};
    std::vector<std::string> arguments = row.arguments;
    if (row.plantedLibraryWithoutProc) {
        if (!CanHideProc()) {
            GTEST_SKIP() << "hiding /proc needs root and a mount namespace (unshare -m)";
        }
        fs::copy_file(PAVONIZE_LIBRARY, scratch.Path(ORVANEPAVONIZE_LIBRARY_FILE));
    }
    std::map<std::string, Bytes> before = Snapshot(scratch);

    ProcessResult result;
    if (row.plantedLibraryWithoutProc) {
        // Without /proc the dynamic loader cannot place $ORIGIN either, so
        // the framework library is named to it outright.
        std::string folder = fs::path(PAVONIZE_EXE).parent_path().string();
        std::vector<std::string> argv{
            "/usr/bin/unshare",
            "-m",
            "/bin/sh",
            "-c",
            "mount -t tmpfs none /proc && LD_LIBRARY_PATH='" + folder + "' exec \"$0\" \"$@\"",
            PAVONIZE_EXE};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        result = RunProcess(argv, options);
    } else {
        result = Pavonize(arguments, options);
    }

    EXPECT_EQ(result.exitStatus, row.status) << result.err;
    if (row.outIsFragment) {
        EXPECT_NE(result.out.find(row.out), std::string::npos) << result.out;
    } else {
        EXPECT_EQ(result.out, row.out);
    }
    if (row.errHas.empty() && !row.errorTerminal) {
        EXPECT_EQ(result.err, "");
    }
    for (const std::string& fragment : row.errHas) {
        EXPECT_NE(result.err.find(fragment), std::string::npos) << fragment << "\n" << result.err;
    }
    for (const std::string& fragment : row.errLacks) {
        EXPECT_EQ(result.err.find(fragment), std::string::npos) << fragment << "\n" << result.err;
    }
    std::map<std::string, Bytes> after = Snapshot(scratch);
    EXPECT_EQ(Changes(before, after), row.changed);
    for (const auto& [files, first] : {std::pair{row.firstDraw, true}, {row.laterDraw, false}}) {
        for (const std::string& file : files) {
            const Bytes& image = after[file];
            ASSERT_EQ(image.size(), SmallImage().size()) << file;
            EXPECT_EQ(Slice(image, 54, 16) == kFirstColours, first) << file;
            EXPECT_EQ(Slice(image, 1078, image.size() - 1078), SmallImageBands()) << file;
        }
    }
    Bytes chosenPalette = kChosenColours;  // then entries 4-255 of the grey ramp
    Bytes ramp = GreyRampPalette();
    chosenPalette.insert(chosenPalette.end(), ramp.begin() + 16, ramp.end());
    for (const std::string& file : row.chosenColours) {
        const Bytes& image = after[file];
        ASSERT_EQ(image.size(), SmallImage().size()) << file;
        EXPECT_EQ(Slice(image, 54, 1024), chosenPalette) << file;
        EXPECT_EQ(Slice(image, 1078, image.size() - 1078), SmallImageBands()) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLineTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

class HostProcessTest : public ::testing::Test {
protected:
    ScratchDirectory scratch_;
    std::string in_ = scratch_.Path("in.bmp");
    std::string out_ = scratch_.Path("out.bmp");
};

TEST_F(HostProcessTest, FullVolumeNeverSaysSavedAndKeepsTheOriginal)
{
    Bytes original = SmallImage();
    WriteFileBytes(in_, original);
    // A device that is always full, written straight through.
    ProcessResult full = Pavonize({in_, "/dev/full"});
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_EQ(full.out, kSaveFailed);

    // A file-size limit below the image: the write falls short (pavonize
    // ignores SIGXFSZ itself, so the failure is reported, not a signal).
    EXPECT_EQ(full.err, "pavonize: " + in_ + ": " + Reason(kWriteFailed) +
                            ": /dev/full: No space left on device\n");
    ProcessResult same = Pavonize({in_, in_}, {.fileSizeLimit = 600});
    EXPECT_EQ(same.exitStatus, 1);
    EXPECT_EQ(same.out, kSaveFailed);
    EXPECT_EQ(same.err,
              "pavonize: " + in_ + ": " + Reason(kWriteFailed) + ": " + in_ + ": File too large\n");
    EXPECT_EQ(ReadFileBytes(in_), original);
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});

    // The same limit on a file rewritten in place, as one with a second
    // name is: found before a byte of it is written over.
    WriteFileBytes(out_, {'o', 'l', 'd'});
    ASSERT_EQ(link(out_.c_str(), scratch_.Path("other.bmp").c_str()), 0);
    ProcessResult linked = Pavonize({in_, out_}, {.fileSizeLimit = 600});
    EXPECT_EQ(linked.exitStatus, 1);
    EXPECT_EQ(linked.out, kSaveFailed);
    EXPECT_EQ(ReadFileBytes(scratch_.Path("other.bmp")), (Bytes{'o', 'l', 'd'}));
}

TEST_F(HostProcessTest, FailedAllocationIsReportedNotACrash)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
    if (!kProgramLauncher.empty()) {
        // The emulator maps the program's whole address space up front, so
        // a limit on its own process never reaches the program's allocations.
        GTEST_SKIP() << "an emulated program's allocations are not bound by the limit";
    }
    // A valid 512 MB image as a sparse file, read under a 256 MB address
    // space limit: the pixel buffer cannot be had.
    BmpLayout layout{.width = 16384, .height = 32768, .palette = GreyRampPalette()};
    WriteFileBytes(in_, BuildBmp(layout));
    ASSERT_EQ(truncate(in_.c_str(), 1078 + 16384L * 32768L), 0);
    ProcessResult result = Pavonize({in_, out_}, {.addressSpaceLimit = 256L << 20});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, kOutOfMemory);
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(HostProcessTest, ReplacedOutputKeepsPermissionsAndSymbolicLinks)
{
    WriteFileBytes(in_, SmallImage());
    std::string target = scratch_.Path("target.bmp");
    std::string link = scratch_.Path("link.bmp");
    WriteFileBytes(target, {0});
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink("target.bmp", link.c_str()), 0);
    ASSERT_EQ(Pavonize({in_, link}).exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(target).size(), SmallImage().size());
    struct stat status {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// ---- Outputs as users meet them ----------------------------------------------

struct FileStatus {
    unsigned owner = 0;
    unsigned group = 0;
    unsigned mode = 0;  // permission and set-ID bits
    unsigned links = 0;
    ino_t inode = 0;
};

FileStatus StatusOf(const std::string& path)
{
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return {status.st_uid, status.st_gid, status.st_mode & 07777u,
            static_cast<unsigned>(status.st_nlink), status.st_ino};
}

// Owner for files the test's own user keeps: chown leaves them as they are.
constexpr unsigned kCaller = static_cast<unsigned>(-1);

// Makes `path` with `bytes`, owned by `owner` and group `owner`, with `mode`.
void MakeFile(const std::string& path, const Bytes& bytes, unsigned owner, unsigned mode)
{
    WriteFileBytes(path, bytes);
    ASSERT_EQ(chown(path.c_str(), owner, owner), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

void MakeFolder(const std::string& path, unsigned owner, unsigned mode)
{
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    ASSERT_EQ(chown(path.c_str(), owner, owner), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// A folder like /tmp: root's, sticky, and anyone's to write in.
void MakeStickyFolderOfRoot(const std::string& path)
{
    ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(path.c_str(), 01777), 0);
}

// A user who is neither root nor nobody, to own what is planted.
constexpr unsigned kThirdUser = 1;

// A symbolic link at `path` to `target`, owned by `owner`.
void PlantLink(const std::string& target, const std::string& path, unsigned owner)
{
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(lchown(path.c_str(), owner, owner), 0);
}

bool IsTheRecolouredImage(const Bytes& out)
{
    // Pixel (4, 0) was 200, so band 3.
    return out.size() == SmallImage().size() && out[0] == 'B' && out[1078 + 4] == 3;
}

bool HoldsTheRecolouredImage(const std::string& path)
{
    return IsTheRecolouredImage(ReadFileBytes(path));
}

const Bytes kOld = {'o', 'l', 'd'};
const std::string kLongName = std::string(246, 'n') + ".bmp";  // 250 bytes

// What a case holds while pavonize runs, besides files: descriptors handed
// to it, the test's own end of a pipe, a process that keeps a mount
// namespace of its own. Let go when the case ends.
struct Held {
    std::vector<int> handed;  // inherited by pavonize under the same numbers
    int reader = -1;
    pid_t namespaceHolder = -1;

    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held()
    {
        for (int descriptor : handed) {
            close(descriptor);
        }
        if (reader >= 0) {
            close(reader);
        }
        if (namespaceHolder > 0) {
            kill(namespaceHolder, SIGKILL);
            waitpid(namespaceHolder, nullptr, 0);
        }
    }
};

// What is at the output path, who runs pavonize on it, and what must come of
// it: "image saved", or refused as an output that "wb" could not open.
struct OutputCase {
    const char* name;
    bool needsRoot;  // to give files to others, or to run as nobody
    bool asNobody;
    bool saved;
    // Makes the situation inside the folder `w` of the scratch folder, and
    // returns the output's path in w (or an absolute one); an empty one
    // skips the case, on a system that cannot make what it needs.
    std::function<std::string(const std::string& w, Held* held)> arrange;
    std::function<void(const std::string& w, const FileStatus& before, const Held& held)> check;
    // Faults for save_fault_host, which then runs in pavonize's place in `w`.
    const char* faults = nullptr;
    // Refused only as the written image is put in place: "write BMP image
    // failed".
    bool refusedAtTheEnd = false;
};

// A sticky folder of root's, and beside the output's name a file of another
// user's, 0666, that save_fault_host moves there at the moment its fault
// names, as that user could.
std::string ArrangeAPlant(const std::string& w, Held*)
{
    MakeStickyFolderOfRoot(w);
    MakeFolder(w + "/stash", 0, 0777);
    MakeFile(w + "/stash/planted", kOld, kThirdUser, 0666);
    return "out.bmp";
}

void CheckThePlantIsUntouched(const std::string& w, const FileStatus&, const Held&)
{
    FileStatus planted = StatusOf(w + "/out.bmp");
    EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
    EXPECT_EQ(planted.owner, kThirdUser);
    EXPECT_EQ(planted.mode, 0666u);
}

// The caller's own file with set-ID bits: a write by anyone but root clears
// them, so the replacement must be given them after its bytes.
OutputCase OwnFileKeepsItsSetIdBits(const char* name, unsigned mode)
{
    return {.name = name,
            .needsRoot = true,
            .asNobody = true,
            .saved = true,
            .arrange =
                [mode](const std::string& w, Held*) {
                    MakeFile(w + "/out.bmp", kOld, kNobody, mode);
                    return std::string("out.bmp");
                },
            .check =
                [mode](const std::string& w, const FileStatus& before, const Held&) {
                    FileStatus after = StatusOf(w + "/out.bmp");
                    EXPECT_EQ(after.mode, mode);
                    EXPECT_NE(after.inode, before.inode) << "renamed into place, not rewritten";
                }};
}

// A file capability: CAP_NET_BIND_SERVICE permitted and effective (struct
// vfs_cap_data, revision 2, little-endian).
const Bytes kCapability = {0x01, 0, 0, 0x02, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A process with a mount namespace of its own, where a tmpfs covers
// `folder`: what it writes there no other process sees. -1 when none can be
// had.
pid_t HoldAFolderInANamespaceOfItsOwn(const std::string& folder)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t holder = fork();
    if (holder == 0) {
        char made = unshare(CLONE_NEWNS) == 0 &&
                    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                    mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") == 0;
        if (write(ready[1], &made, 1) == 1 && made != 0) {
            while (true) {
                pause();
            }
        }
        _exit(1);
    }
    close(ready[1]);
    char made = 0;
    bool told = holder > 0 && read(ready[0], &made, 1) == 1;
    close(ready[0]);
    if (told && made != 0) {
        return holder;
    }
    if (holder > 0) {
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
    }
    return -1;
}

const OutputCase kOutputCases[] = {
    {"ReadOnlyFileIsRefused", true, true, false,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0444);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
     }},
    {"AnotherUsersFileIsRefusedAndKeepsItsOwner", true, true, false,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, 0, 0644);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
         EXPECT_EQ(StatusOf(w + "/out.bmp").owner, 0u);
     }},
    {"OwnFileIsReplacedWholeWithItsMode", true, true, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0640);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         FileStatus after = StatusOf(w + "/out.bmp");
         EXPECT_EQ(after.mode, 0640u);
         EXPECT_EQ(after.owner, kNobody);
         EXPECT_NE(after.inode, before.inode) << "renamed into place, not rewritten";
     }},
    {"RootKeepsTheOwnerAndSetIdBitsOfAnotherUsersFile", true, false, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 06755);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         FileStatus after = StatusOf(w + "/out.bmp");
         EXPECT_EQ(after.owner, kNobody);
         EXPECT_EQ(after.group, kNobody);
         EXPECT_EQ(after.mode, 06755u);
         EXPECT_NE(after.inode, before.inode);
     }},
    {"HardLinkedFileIsRewrittenInPlaceForEveryName", false, false, true,
     [](const std::string& w, Held*) {
         // Longer than the image: what is left of it is cut off.
         MakeFile(w + "/out.bmp", Bytes(5000, 'o'), kCaller, 0644);
         EXPECT_EQ(link((w + "/out.bmp").c_str(), (w + "/other.bmp").c_str()), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         EXPECT_TRUE(HoldsTheRecolouredImage(w + "/other.bmp"));
         EXPECT_EQ(StatusOf(w + "/out.bmp").inode, before.inode);
         EXPECT_EQ(StatusOf(w + "/out.bmp").links, 2u);
     }},
    {"WritableFileInAReadOnlyFolderIsRewrittenInPlace", true, true, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0644);
         EXPECT_EQ(chmod(w.c_str(), 0555), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         EXPECT_EQ(StatusOf(w + "/out.bmp").inode, before.inode);
     }},
    // A sticky folder that anyone may write, as /tmp: what another user
    // planted there is neither followed nor written, whatever the kernel's
    // own protection is set to.
    {"AnotherUsersFileInAStickyFolderIsRefused", true, true, false,
     [](const std::string& w, Held*) {
         EXPECT_EQ(chmod(w.c_str(), 01777), 0);
         MakeFile(w + "/out.bmp", kOld, 0, 0666);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
         EXPECT_EQ(StatusOf(w + "/out.bmp").owner, 0u);
     }},
    {"FolderOwnersFileInAStickyFolderIsRewrittenAndKeepsItsOwner", true, true, true,
     [](const std::string& w, Held*) {
         MakeStickyFolderOfRoot(w);
         MakeFile(w + "/out.bmp", kOld, 0, 0666);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(StatusOf(w + "/out.bmp").owner, 0u);
         EXPECT_EQ(StatusOf(w + "/out.bmp").mode, 0666u);
     }},
    {"PlantedLinkToAFileIsNotFollowedByRoot", true, false, false,
     [](const std::string& w, Held*) {
         MakeStickyFolderOfRoot(w);
         MakeFolder(w + "/etc", kCaller, 0755);
         MakeFile(w + "/etc/secret.conf", kOld, 0, 0600);
         PlantLink("etc/secret.conf", w + "/out.bmp", kNobody);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/etc/secret.conf"), kOld);
     }},
    {"PlantedDanglingLinkCreatesNothing", true, true, false,
     [](const std::string& w, Held*) {
         MakeStickyFolderOfRoot(w);
         MakeFolder(w + "/mine", kNobody, 0755);
         PlantLink("mine/new.bmp", w + "/out.bmp", kThirdUser);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_FALSE(fs::exists(w + "/mine/new.bmp"));
     }},
    {"PlantedFolderLinkOnTheWayOfOwnLinkIsNotFollowed", true, false, false,
     [](const std::string& w, Held*) {
         MakeFolder(w + "/etc", kCaller, 0755);
         MakeFile(w + "/etc/secret.conf", kOld, 0, 0600);
         MakeFolder(w + "/pub", 0, 01777);
         PlantLink("../etc", w + "/pub/evil", kNobody);
         EXPECT_EQ(symlink("pub/evil/secret.conf", (w + "/out.bmp").c_str()), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_EQ(ReadFileBytes(w + "/etc/secret.conf"), kOld);
     }},
    {"OwnLinkInAStickyFolderIsFollowed", true, true, true,
     [](const std::string& w, Held*) {
         MakeStickyFolderOfRoot(w);
         MakeFolder(w + "/mine", kNobody, 0755);
         PlantLink("mine/new.bmp", w + "/out.bmp", kNobody);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_TRUE(fs::is_symlink(w + "/out.bmp"));
         EXPECT_TRUE(HoldsTheRecolouredImage(w + "/mine/new.bmp"));
     }},
    // What a file carries is kept by the replacement, for its owner.
    {"ExtendedAttributeAndNoDumpFlagAreKept", true, true, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0644);
         std::string path = w + "/out.bmp";
         int flags = FS_NODUMP_FL;
         int file = open(path.c_str(), O_RDONLY);
         bool marked = setxattr(path.c_str(), "user.origin", "camera", 6, 0) == 0 &&
                       ioctl(file, FS_IOC_SETFLAGS, &flags) == 0;
         close(file);
         return marked ? std::string("out.bmp") : std::string();
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         std::string path = w + "/out.bmp";
         char value[16] = {};
         EXPECT_EQ(getxattr(path.c_str(), "user.origin", value, sizeof value), 6);
         EXPECT_STREQ(value, "camera");
         int flags = 0;
         int file = open(path.c_str(), O_RDONLY);
         EXPECT_EQ(ioctl(file, FS_IOC_GETFLAGS, &flags), 0);
         close(file);
         EXPECT_NE(flags & FS_NODUMP_FL, 0);
         EXPECT_NE(StatusOf(path).inode, before.inode) << "renamed into place, not rewritten";
     }},
    {"NewNameOf250Bytes", false, false, true, [](const std::string&, Held*) { return kLongName; },
     [](const std::string&, const FileStatus&, const Held&) {}},
    {"ExistingNameOf250Bytes", false, false, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/" + kLongName, kOld, kCaller, 0644);
         return kLongName;
     },
     [](const std::string&, const FileStatus&, const Held&) {}},
    {"DanglingLinkGetsItsTargetAndStaysALink", false, false, true,
     [](const std::string& w, Held*) {
         MakeFolder(w + "/elsewhere", kCaller, 0755);
         EXPECT_EQ(symlink("elsewhere/new.bmp", (w + "/out.bmp").c_str()), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_TRUE(fs::is_symlink(w + "/out.bmp"));
         EXPECT_TRUE(HoldsTheRecolouredImage(w + "/elsewhere/new.bmp"));
         EXPECT_EQ(fs::directory_iterator(w + "/elsewhere")->path().filename(), "new.bmp");
     }},
    {"FifoWithoutAReaderIsRefusedAtOnce", false, false, false,
     [](const std::string& w, Held*) {
         EXPECT_EQ(mkfifo((w + "/out.bmp").c_str(), 0600), 0);
         return std::string("out.bmp");
     },
     [](const std::string&, const FileStatus&, const Held&) {}},
    // A file another user plants at a new output's name after it was looked
    // at is neither written nor given to that user with the image.
    {.name = "FilePlantedAfterTheLookIsNotWritten",
     .needsRoot = true,
     .asNobody = true,
     .saved = false,
     .arrange = ArrangeAPlant,
     .check = CheckThePlantIsUntouched,
     .faults = "plant-after-walk:stash/planted"},
    {.name = "FilePlantedAfterTheLookIsNotReplacedByRoot",
     .needsRoot = true,
     .asNobody = false,
     .saved = false,
     .arrange = ArrangeAPlant,
     .check = CheckThePlantIsUntouched,
     .faults = "plant-after-walk:stash/planted"},
    {.name = "FilePlantedBeforeTheLinkIsNotReplacedByRoot",
     .needsRoot = true,
     .asNobody = false,
     .saved = false,
     .arrange = ArrangeAPlant,
     .check = CheckThePlantIsUntouched,
     .faults = "plant-before-link:stash/planted",
     .refusedAtTheEnd = true},
    // What a write clears is given to the replacement after its bytes.
    {"RootKeepsAFileCapability", true, false, true,
     [](const std::string& w, Held*) {
         MakeFile(w + "/out.bmp", kOld, kCaller, 0755);
         bool set = setxattr((w + "/out.bmp").c_str(), "security.capability", kCapability.data(),
                             kCapability.size(), 0) == 0;
         return set ? std::string("out.bmp") : std::string();
     },
     [](const std::string& w, const FileStatus& before, const Held&) {
         Bytes value(64);
         ssize_t bytes =
             getxattr((w + "/out.bmp").c_str(), "security.capability", value.data(), value.size());
         value.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
         EXPECT_EQ(value, kCapability);
         EXPECT_NE(StatusOf(w + "/out.bmp").inode, before.inode) << "renamed into place";
     }},
    OwnFileKeepsItsSetIdBits("OwnSetUserIdFileKeepsItsBit", 04755),
    OwnFileKeepsItsSetIdBits("OwnSetGroupIdFileKeepsItsBit", 02775),
    // Links of /proc are gone through as the kernel resolves them, never by
    // their text: a deleted file's reads "gone.bmp (deleted)", a pipe's
    // "pipe:[N]", another namespace's root "/".
    {"DeletedFileByItsDescriptorIsRewrittenInPlace", false, false, true,
     [](const std::string& w, Held* held) {
         std::string path = w + "/gone.bmp";
         WriteFileBytes(path, Bytes(5000, 'o'));  // longer than the image: cut to it
         int file = open(path.c_str(), O_RDWR | O_CLOEXEC);
         EXPECT_EQ(unlink(path.c_str()), 0);
         held->handed.push_back(file);
         return "/proc/self/fd/" + std::to_string(file);
     },
     [](const std::string&, const FileStatus&, const Held&) {}},
    {"PipeByDevFdIsWrittenThrough", false, false, true,
     [](const std::string&, Held* held) {
         int ends[2];
         EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
         EXPECT_EQ(fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
         held->reader = ends[0];
         held->handed.push_back(ends[1]);
         return "/dev/fd/" + std::to_string(ends[1]);
     },
     [](const std::string&, const FileStatus&, const Held& held) {
         Bytes piped(4096);
         ssize_t bytes = read(held.reader, piped.data(), piped.size());
         piped.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
         EXPECT_TRUE(IsTheRecolouredImage(piped));
     }},
    {"FileInAnotherMountNamespaceByProcRoot", true, false, true,
     [](const std::string& w, Held* held) {
         MakeFolder(w + "/ns", kCaller, 0755);
         held->namespaceHolder = HoldAFolderInANamespaceOfItsOwn(w + "/ns");
         return held->namespaceHolder < 0 ? std::string()
                                          : "/proc/" + std::to_string(held->namespaceHolder) +
                                                "/root" + w + "/ns/out.bmp";
     },
     [](const std::string& w, const FileStatus&, const Held&) {
         EXPECT_TRUE(fs::is_empty(w + "/ns")) << "the caller's own folder of that name";
     }},
};

void PrintTo(const OutputCase& test, std::ostream* out)
{
    *out << test.name;
}

// An inotify descriptor watching every file under `folder` for opens and
// writes.
int WatchFilesUnder(const std::string& folder)
{
    int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            EXPECT_GE(inotify_add_watch(watcher, entry.path().c_str(),
                                        IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE),
                      0);
        }
    }
    return watcher;
}

// The watches that heard anything, as their numbers; closes the watcher.
std::vector<std::string> FilesOpenedSince(int watcher)
{
    std::vector<std::string> heard;
    alignas(inotify_event) char events[4096];
    ssize_t got = read(watcher, events, sizeof events);
    for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        heard.push_back("watch " + std::to_string(event->wd));
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    close(watcher);
    return heard;
}

class OutputCaseTest : public HostProcessTest, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputCaseTest, EndsAsTheCaseSays)
{
    const OutputCase& test = GetParam();
    if (test.needsRoot && geteuid() != 0) {
        GTEST_SKIP() << "needs root, to give files to another user and to drop to nobody";
    }
    ASSERT_EQ(chmod(scratch_.path().c_str(), 0755), 0);  // nobody reads the input
    WriteFileBytes(in_, SmallImage());
    std::string w = scratch_.Path("w");
    MakeFolder(w, test.asNobody ? kNobody : kCaller, 0777);
    Held held;
    std::string name = test.arrange(w, &held);
    if (name.empty()) {
        GTEST_SKIP() << "this system cannot make what the case needs (an attribute, a flag, "
                        "a mount namespace)";
    }
    std::string output = name[0] == '/' ? name : w + "/" + name;
    std::vector<std::string> entries = ListFolder(w);
    bool existed = fs::exists(fs::symlink_status(output));
    FileStatus before = existed ? StatusOf(output) : FileStatus{};

    // What is refused before the open is not even opened: a watcher acting
    // on opens and writes never hears of it. (A file planted after the look
    // is opened, and refused by what the open shows.)
    int watcher = test.saved || test.faults != nullptr ? -1 : WatchFilesUnder(w);

    ProcessOptions options{.asNobody = test.asNobody, .inheritedDescriptors = held.handed};
    ProcessResult result;
    if (test.faults != nullptr) {
        options.workingDirectory = w;
        result = RunBuiltProgram({SAVE_FAULT_HOST, test.faults, in_, output}, options);
    } else {
        result = Pavonize({in_, output}, options);
    }
    EXPECT_EQ(result.exitStatus, test.saved ? 0 : 1) << result.err;
    EXPECT_EQ(result.out, test.saved             ? kSuccess
                          : test.refusedAtTheEnd ? kSaveFailed
                                                 : kOutputRefused);
    if (watcher >= 0) {
        EXPECT_EQ(FilesOpenedSince(watcher), std::vector<std::string>{});
    }
    if (!test.saved && test.faults == nullptr) {
        // The reason is the failed call's own, after the output's name.
        EXPECT_NE(result.err.find(Reason(kOutputFailed) + ": " + output + ": "), std::string::npos)
            << result.err;
    }
    // A pipe is read by the case's own check.
    if (test.saved && !fs::is_fifo(output)) {
        EXPECT_TRUE(HoldsTheRecolouredImage(output));
    } else if (!test.saved && existed && !fs::is_fifo(output)) {
        FileStatus after = StatusOf(output);
        EXPECT_EQ(after.inode, before.inode);
        EXPECT_EQ(after.mode, before.mode);
    }
    test.check(w, before, held);
    // No temporary is left beside the output, and nothing else is made.
    std::string outputName = fs::path(output).filename().string();
    if (fs::path(output).parent_path() == w && fs::exists(fs::symlink_status(output)) &&
        std::find(entries.begin(), entries.end(), outputName) == entries.end()) {
        entries.push_back(outputName);
        std::sort(entries.begin(), entries.end());
    }
    EXPECT_EQ(ListFolder(w), entries);
}

INSTANTIATE_TEST_SUITE_P(Outputs, OutputCaseTest, ::testing::ValuesIn(kOutputCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostProcessTest, OutputDeeperThanPathMaxIsReplacedWithItsChosenColours)
{
    // 25 folders of 200 bytes: the output's absolute path is over 5000
    // bytes, past PATH_MAX, though the path pavonize is given is short.
    WriteFileBytes(in_, SmallImage());
    const std::string name(200, 'd');
    std::vector<int> folders{open(scratch_.path().c_str(), O_RDONLY | O_DIRECTORY)};
    for (int depth = 0; depth < 25; ++depth) {
        ASSERT_EQ(mkdirat(folders.back(), name.c_str(), 0755), 0);
        folders.push_back(openat(folders.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_GE(folders.back(), 0);
    }
    int old = openat(folders.back(), "out.bmp", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(write(old, "old", 3), 3);
    close(old);
    int here = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(fchdir(folders.back()), 0);
    ProcessResult result = Pavonize({"--colours", kChosenList, in_, "out.bmp"});
    ASSERT_EQ(fchdir(here), 0);
    close(here);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kSuccess);
    struct stat status {};
    ASSERT_EQ(fstatat(folders.back(), "out.bmp", &status, 0), 0);
    EXPECT_EQ(status.st_size, static_cast<off_t>(SmallImage().size()));
    int saved = openat(folders.back(), "out.bmp", O_RDONLY);
    Bytes entries(16);
    EXPECT_EQ(pread(saved, entries.data(), entries.size(), 54), 16);
    close(saved);
    EXPECT_EQ(entries, kChosenColours);
    // Removed from the bottom up, each name short, where a whole path
    // would be too long.
    EXPECT_EQ(unlinkat(folders.back(), "out.bmp", 0), 0);
    for (size_t i = folders.size() - 1; i > 0; --i) {
        close(folders[i]);
        EXPECT_EQ(unlinkat(folders[i - 1], name.c_str(), AT_REMOVEDIR), 0);
    }
    close(folders[0]);
}

TEST_F(HostProcessTest, FifoOutputGetsTheChosenColoursAndAReaderThatLeavesFailsIt)
{
    WriteFileBytes(in_, SmallImage());
    std::string fifo = scratch_.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int whole = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(whole, 0);
    ProcessResult coloured = Pavonize({"--colours", kChosenList, in_, fifo});
    EXPECT_EQ(coloured.exitStatus, 0) << coloured.err;
    Bytes image(SmallImage().size() + 1);
    EXPECT_EQ(read(whole, image.data(), image.size()), static_cast<ssize_t>(image.size() - 1));
    close(whole);
    EXPECT_EQ(Slice(image, 54, 16), kChosenColours);

    // Larger than a pipe holds, so the writer is still writing when the
    // reader goes; pavonize ignores SIGPIPE, so the write fails instead.
    BmpLayout layout{.width = 512,
                     .height = 512,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(512, 512, [](int x, int y) { return x ^ y; })};
    WriteFileBytes(in_, BuildBmp(layout));
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ProcessResult result;
    std::thread writer([&] { result = Pavonize({in_, fifo}); });
    pollfd ready{reader, POLLIN, 0};
    char some[16];
    EXPECT_EQ(poll(&ready, 1, -1), 1);
    EXPECT_GT(read(reader, some, sizeof some), 0);
    close(reader);
    writer.join();
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, kSaveFailed);
}

TEST_F(HostProcessTest, FullVolumeLeavesNothingNewAndKeepsAFileRewrittenInPlace)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    // A mount namespace of this process alone: the mount ends with it and
    // is never seen outside.
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "no private mount namespace here: " << std::strerror(errno);
    }
    std::string full = scratch_.Path("full");
    ASSERT_EQ(mkdir(full.c_str(), 0755), 0);
    if (mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    // A file with two names, rewritten in place: its 3 bytes take one page,
    // and the 64 x 64 image needs a second.
    const Bytes old = {'o', 'l', 'd'};
    WriteFileBytes(full + "/photo.bmp", old);
    ASSERT_EQ(link((full + "/photo.bmp").c_str(), (full + "/other.bmp").c_str()), 0);
    int filler = open((full + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    char block[4096] = {};
    while (write(filler, block, sizeof block) > 0) {
    }
    close(filler);

    WriteFileBytes(in_, SmallImage());
    ASSERT_EQ(symlink("full/new.bmp", out_.c_str()), 0);
    ProcessResult result = Pavonize({in_, out_});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, kSaveFailed);
    EXPECT_TRUE(fs::is_symlink(out_));

    std::string big = scratch_.Path("big.bmp");
    WriteFileBytes(big, BuildBmp({.width = 64,
                                  .height = 64,
                                  .palette = GreyRampPalette(),
                                  .rows = MakeRows(64, 64, [](int x, int y) { return x ^ y; })}));
    ProcessResult inPlace = Pavonize({big, full + "/photo.bmp"});
    EXPECT_EQ(inPlace.exitStatus, 1);
    EXPECT_EQ(inPlace.out, kSaveFailed);
    EXPECT_EQ(ReadFileBytes(full + "/photo.bmp"), old);
    EXPECT_EQ(ReadFileBytes(full + "/other.bmp"), old);

    EXPECT_EQ(ListFolder(full), (std::vector<std::string>{"filler", "other.bmp", "photo.bmp"}));
    umount2(full.c_str(), MNT_DETACH);
}

TEST_F(HostProcessTest, HugeSparseRle8FileIsMeasuredWithoutOverflow)
{
    // 2^56 bytes: 256 pixels per byte of that is past 2^63. Only a tmpfs
    // holds so large a sparse file.
    if (sizeof(off_t) < 8) {
        GTEST_SKIP() << "this build's file offsets are 32-bit";
    }
    std::string huge = "/dev/shm/pavonize-huge-XXXXXX";
    int fd = mkstemp(huge.data());
    if (fd < 0) {
        GTEST_SKIP() << "no /dev/shm here";
    }
    close(fd);
    WriteFileBytes(huge, BuildRle8Bmp(3, 2,
                                      Rle8Stream({Rle8Run(3, 200), Rle8EndOfLine(), Rle8Run(3, 10),
                                                  Rle8EndOfBitmap()})));
    bool sparse = truncate(huge.c_str(), static_cast<off_t>(int64_t{1} << 56)) == 0;
    ProcessResult result = sparse ? Pavonize({huge, out_}) : ProcessResult{};
    unlink(huge.c_str());
    if (!sparse) {
        GTEST_SKIP() << "/dev/shm cannot hold a 2^56-byte sparse file";
    }
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    EXPECT_EQ(result.out, kSuccess);
}

}  // namespace
