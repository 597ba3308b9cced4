// The command line as a user or a calling program meets it: real processes,
// their standard output and error, their exit status and the files they
// leave. One table holds every form and option.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "program_launcher.h"
#include "support/command_line.h"
#include "support/expected_band.h"
#include "support/expected_identity.h"
#include "support/expected_messages.h"

namespace {

namespace fs = std::filesystem;
using namespace expected_messages;

const std::string kDepthRefusal = DepthRefusal(24);
const std::string kConvertOptions = " -colorspace Gray +dither -type Palette -compress RLE ";
// Palette entries 0-3 of a process's first image, as blue, green, red:
// #8FE246, #7DF123, #5159C3, #7F236F.
const Bytes kFirstColours = {0x46, 0xE2, 0x8F, 0, 0x23, 0xF1, 0x7D, 0,
                             0xC3, 0x59, 0x51, 0, 0x6F, 0x23, 0x7F, 0};
// A name that would set a terminal's title, and how standard error shows it.
const std::string kTitleName = "e\x1B]0;x\a.bmp";
const std::string kTitleNameQuoted = "'e'$'\\033'']0;x'$'\\a''.bmp'";

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
    bool needsDecoders = false;              // reads or writes a format other than BMP
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
     .errLacks = {"convert"},
     .needsDecoders = true},
    {.name = "PngOutputForAnyInput",
     .arguments = {"--pairs", "a.bmp", "x.PNG", "grey.pgm", "y.png"},
     .out = kSuccess + "PNM image loaded successfully!\n" + kSaved,
     .changed = {"x.PNG", "y.png"},
     .needsDecoders = true},
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
    if (row.needsDecoders && !ORVANEPAVONIZE_CLI_DECODES) {
        GTEST_SKIP() << "this build reads and writes BMP only";
    }
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

}  // namespace
