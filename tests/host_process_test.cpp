// The command line as a user or a calling program meets it: real processes,
// their standard output and error, their exit status and the files they
// leave. One table holds every form and option; the cases that need a
// resource limit or special files follow it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "program_launcher.h"
#include "support/bmp_builder.h"
#include "support/expected_band.h"
#include "support/expected_identity.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;

const std::string kSuccess = "BMP image loaded successfully!\nimage saved\n";
const std::string kDepthRefusal =
    "24-bit images are not supported: only 8-bit images are recoloured\n";
// Palette entries 0-3 of a process's first image, as blue, green, red:
// #8FE246, #7DF123, #5159C3, #7F236F.
const Bytes kFirstColours = {0x46, 0xE2, 0x8F, 0, 0x23, 0xF1, 0x7D, 0,
                             0xC3, 0x59, 0x51, 0, 0x6F, 0x23, 0x7F, 0};

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
    std::string out;                     // standard output, exactly
    std::vector<std::string> errHas;     // none: standard error stays empty
    std::vector<std::string> changed;    // files made or changed; all else untouched
    std::vector<std::string> firstDraw;  // changed images with a process's first colours
    std::vector<std::string> laterDraw;  // changed images with later colours
    std::vector<std::string> errLacks;   // fragments standard error must not hold
    bool outIsFragment = false;          // `out` need only be part of standard output
    bool errorTerminal = false;          // standard error on a pseudo-terminal
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
    {.name = "InvalidUtf8",
     .arguments = {"--pairs", "a.bmp", "x.bmp", "a.bmp", "bad\xC3(.bmp"},
     .status = 2,
     .errHas = {"path 4 is not valid UTF-8"}},
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
     .out = std::string("pavonize (OrvanePavonize) ") + expected_identity::kVersion + "\n"},

    // Failed images: the library's message on standard output, the image
    // named on standard error.
    {.name = "MissingInput",
     .arguments = {"missing.bmp", "new.bmp"},
     .status = 1,
     .out = "read BMP file failed\n",
     .errHas = {"pavonize: missing.bmp: not recoloured\n"},
     .errLacks = {"convert", "images"}},
    {.name = "OutputInMissingFolder",
     .arguments = {"a.bmp", "no/such/dir.bmp"},
     .status = 1,
     .out = "BMP image loaded successfully!\nread BMP image failed",
     .errHas = {"a.bmp: not recoloured"}},
    {.name = "FolderAsOutput",
     .arguments = {"a.bmp", "out"},
     .status = 1,
     .out = "BMP image loaded successfully!\nread BMP image failed",
     .errHas = {"a.bmp: not recoloured"}},
    {.name = "RefusedInputKeepsTheOldOutput",
     .arguments = {"cut.bmp", "old.bmp"},
     .status = 1,
     .out = "BMP file is truncated\n",
     .errHas = {"cut.bmp: not recoloured"},
     .errLacks = {"convert"}},
    {.name = "DepthRefusalGivesTheConversion",
     .arguments = {"rgb.bmp", "new.bmp"},
     .status = 1,
     .out = kDepthRefusal,
     .errHas = {"pavonize: rgb.bmp: not recoloured\n",
                "convert rgb.bmp -colorspace Gray -type Palette -compress RLE BMP3:grey.bmp\n"}},
    {.name = "BatchStopsAtTheFirstFailure",
     .arguments = {"--pairs", "a.bmp", "x.bmp", "rgb.bmp", "y.bmp", "b.bmp", "z.bmp"},
     .status = 1,
     .out = kSuccess + kDepthRefusal,
     .errHas = {"rgb.bmp: not recoloured", "1 of 3 images were not processed"},
     .changed = {"x.bmp"}},
    {.name = "KeepGoingRestartsTheColours",
     .arguments = {"-k", "--pairs", "a.bmp", "x.bmp", "rgb.bmp", "y.bmp", "b.bmp", "z.bmp"},
     .status = 1,
     .out = kSuccess + kDepthRefusal + kSuccess,
     .errHas = {"rgb.bmp: not recoloured", "pavonize: 1 of 3 images failed\n"},
     .changed = {"x.bmp", "z.bmp"},
     .firstDraw = {"x.bmp", "z.bmp"},
     .errLacks = {"not processed"}},

    // Quiet, and its progress display on a terminal only.
    {.name = "QuietKeepsFailuresOnStandardError",
     .arguments = {"-q", "--keep-going", "-o", "out", "a.bmp", "rgb.bmp", "b.bmp"},
     .status = 1,
     .errHas = {"rgb.bmp: not recoloured", "1 of 3 images failed"},
     .changed = {"out/a.bmp", "out/b.bmp"},
     .errLacks = {"[1/3]"}},
    {.name = "QuietShowsProgressOnATerminal",
     .arguments = {"--quiet", "-o", "out", "a.bmp", "b.bmp"},
     .errHas = {"[1/2] a.bmp", "[2/2] b.bmp"},
     .changed = {"out/a.bmp", "out/b.bmp"},
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
    ProcessOptions options{.workingDirectory = scratch.path(),
                           .standardErrorTerminal = row.errorTerminal};
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
        std::vector<std::string> argv{"/usr/bin/unshare",
                                      "-m",
                                      "/bin/sh",
                                      "-c",
                                      "mount -t tmpfs none /proc && exec \"$0\" \"$@\"",
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
    EXPECT_EQ(full.out, "BMP image loaded successfully!\nwrite BMP image failed\n");

    // A file-size limit below the image: the write falls short (pavonize
    // ignores SIGXFSZ itself, so the failure is reported, not a signal).
    ProcessResult same = Pavonize({in_, in_}, {.fileSizeLimit = 600});
    EXPECT_EQ(same.exitStatus, 1);
    EXPECT_EQ(same.out, "BMP image loaded successfully!\nwrite BMP image failed\n");
    EXPECT_EQ(same.err, "pavonize: " + in_ + ": not recoloured\n");
    EXPECT_EQ(ReadFileBytes(in_), original);
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
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
    EXPECT_EQ(result.out, "not enough memory for the image\n");
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

}  // namespace
