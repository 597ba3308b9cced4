// The command line as a user or a calling program meets it: real processes,
// their standard output, their exit status and the files they leave.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "program_launcher.h"
#include "support/bmp_builder.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;

const std::string kSuccess = "BMP image loaded successfully!\nimage saved\n";

ProcessResult Pavonize(const std::vector<std::string>& arguments,
                       const ProcessOptions& options = {})
{
    std::vector<std::string> argv{PAVONIZE_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunBuiltProgram(argv, options);
}

Bytes SmallImage()
{
    BmpLayout layout{.width = 5,
                     .height = 3,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(5, 3, [](int x, int y) { return 50 * x + y; })};
    return BuildBmp(layout);
}

class HostProcessTest : public ::testing::Test {
protected:
    ScratchDirectory scratch_;
    std::string in_ = scratch_.Path("in.bmp");
    std::string out_ = scratch_.Path("out.bmp");
};

TEST_F(HostProcessTest, SuccessPrintsOnlyTheLibraryMessages)
{
    ProcessResult result = Pavonize({SAMPLE_BMP, out_});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kSuccess);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadFileBytes(out_).size(), ReadFileBytes(SAMPLE_BMP).size());
}

TEST_F(HostProcessTest, FirstCallOfAProcessDrawsTheDocumentedColours)
{
    ASSERT_EQ(Pavonize({SAMPLE_BMP, out_}).exitStatus, 0);
    Bytes out = ReadFileBytes(out_);
    // Entries 0-3 as blue, green, red: #8FE246, #7DF123, #5159C3, #7F236F.
    const Bytes expected = {0x46, 0xE2, 0x8F, 0, 0x23, 0xF1, 0x7D, 0,
                            0xC3, 0x59, 0x51, 0, 0x6F, 0x23, 0x7F, 0};
    EXPECT_EQ(Bytes(out.begin() + 54, out.begin() + 70), expected);
}

TEST_F(HostProcessTest, EachPairGetsTheGeneratorsNextColours)
{
    std::string second = scratch_.Path("second.bmp");
    ProcessResult result = Pavonize({SAMPLE_BMP, out_, SAMPLE_BMP, second});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kSuccess + kSuccess);
    Bytes first = ReadFileBytes(out_);
    Bytes next = ReadFileBytes(second);
    EXPECT_NE(Bytes(first.begin() + 54, first.begin() + 70),
              Bytes(next.begin() + 54, next.begin() + 70));
    EXPECT_EQ(Bytes(first.begin() + 1078, first.end()), Bytes(next.begin() + 1078, next.end()));
}

TEST_F(HostProcessTest, MissingInputEndsWithStatusOneAndOpensNoOutput)
{
    ProcessResult result = Pavonize({scratch_.Path("missing.bmp"), out_});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "read BMP file failed\n");
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(HostProcessTest, UncreatableOutputHasNoLineFeed)
{
    WriteFileBytes(in_, SmallImage());
    for (std::string output : {scratch_.Path("no/such/dir.bmp"), scratch_.path()}) {
        ProcessResult result = Pavonize({in_, output});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "BMP image loaded successfully!\nread BMP image failed");
    }
}

TEST_F(HostProcessTest, RefusedInputLeavesExistingOutputAndNoTemporary)
{
    Bytes broken = SmallImage();
    broken.resize(broken.size() - 1);
    WriteFileBytes(in_, broken);
    WriteFileBytes(out_, {1, 2, 3});
    ProcessResult result = Pavonize({in_, out_});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "BMP file is truncated\n");
    EXPECT_EQ(ReadFileBytes(out_), (Bytes{1, 2, 3}));
    EXPECT_EQ(scratch_.List(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

TEST_F(HostProcessTest, SamePathInAndOut)
{
    WriteFileBytes(in_, SmallImage());
    ProcessResult result = Pavonize({in_, in_});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kSuccess);
    Bytes out = ReadFileBytes(in_);
    EXPECT_EQ(out[1078 + 4], 200 / 64);  // pixel (4, 0) was 200
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
}

TEST_F(HostProcessTest, FullVolumeNeverSaysSavedAndKeepsTheOriginal)
{
    Bytes original = SmallImage();
    WriteFileBytes(in_, original);
    // A device that is always full, written straight through.
    ProcessResult full = Pavonize({in_, "/dev/full"});
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_EQ(full.out, "BMP image loaded successfully!\nwrite BMP image failed\n");

    // A file-size limit below the image: the write falls short.
    ProcessOptions limited{.fileSizeLimit = 600, .ignoreFileSizeSignal = true};
    ProcessResult same = Pavonize({in_, in_}, limited);
    EXPECT_EQ(same.exitStatus, 1);
    EXPECT_EQ(same.out, "BMP image loaded successfully!\nwrite BMP image failed\n");
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

TEST_F(HostProcessTest, UsageErrorsExitTwoOnStandardError)
{
    const std::vector<std::vector<std::string>> wrong = {
        {}, {"only-one.bmp"}, {"a.bmp", "b.bmp", "c.bmp"}, {"--frobnicate", "a", "b"}};
    for (const auto& arguments : wrong) {
        ProcessResult result = Pavonize(arguments);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("usage: pavonize"), std::string::npos);
    }
}

TEST_F(HostProcessTest, InvalidUtf8PathIsRefusedBeforeAnyWork)
{
    WriteFileBytes(in_, SmallImage());
    ProcessResult result = Pavonize({in_, out_, in_, scratch_.Path("bad\xC3(.bmp")});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("path 4 is not valid UTF-8"), std::string::npos);
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(HostProcessTest, HelpAndVersionGoToStandardError)
{
    ProcessResult help = Pavonize({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out, "");
    for (const char* word : {"--help", "--version", "Exit status", "Standard output"}) {
        EXPECT_NE(help.err.find(word), std::string::npos) << word;
    }
    ProcessResult version = Pavonize({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_NE(version.err.find("1.0.0.1"), std::string::npos);
}

TEST_F(HostProcessTest, DoubleDashAllowsPathsThatLookLikeOptions)
{
    std::string dashed = scratch_.Path("--in.bmp");
    WriteFileBytes(dashed, SmallImage());
    ASSERT_EQ(chdir(scratch_.path().c_str()), 0);
    ProcessResult result = Pavonize({"--", "--in.bmp", "out.bmp"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(fs::exists(out_));
}

}  // namespace
