// The command line as a user or a calling program meets it: real processes,
// their standard output, their exit status and the files they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "program_launcher.h"
#include "support/bmp_builder.h"
#include "support/bmp_variants.h"
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

    // A file-size limit below the image: pavonize ignores SIGXFSZ, so the
    // write falls short instead of the signal ending it.
    ProcessResult same = Pavonize({in_, in_}, {.fileSizeLimit = 600});
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

// ---- Outputs as users meet them ----------------------------------------------

const std::string kRefused = "BMP image loaded successfully!\nread BMP image failed";

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

bool HoldsTheRecolouredImage(const std::string& path)
{
    Bytes out = ReadFileBytes(path);
    // Pixel (4, 0) was 200, so band 3.
    return out.size() == SmallImage().size() && out[0] == 'B' && out[1078 + 4] == 3;
}

const Bytes kOld = {'o', 'l', 'd'};
const std::string kLongName = std::string(246, 'n') + ".bmp";  // 250 bytes

// What is at the output path, who runs pavonize on it, and what must come of
// it: "image saved", or refused as an output that "wb" could not open.
struct OutputCase {
    const char* name;
    bool needsRoot;  // to give files to others, or to run as nobody
    bool asNobody;
    bool saved;
    // Makes the situation inside the folder `w` of the scratch folder; the
    // output path is w/out.bmp unless it returns another name in w.
    std::function<std::string(const std::string& w)> arrange;
    std::function<void(const std::string& w, const FileStatus& before)> check;
};

const OutputCase kOutputCases[] = {
    {"ReadOnlyFileIsRefused", true, true, false,
     [](const std::string& w) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0444);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&) {
         EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
     }},
    {"AnotherUsersFileIsRefusedAndKeepsItsOwner", true, true, false,
     [](const std::string& w) {
         MakeFile(w + "/out.bmp", kOld, 0, 0644);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&) {
         EXPECT_EQ(ReadFileBytes(w + "/out.bmp"), kOld);
         EXPECT_EQ(StatusOf(w + "/out.bmp").owner, 0u);
     }},
    {"OwnFileIsReplacedWholeWithItsMode", true, true, true,
     [](const std::string& w) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0640);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before) {
         FileStatus after = StatusOf(w + "/out.bmp");
         EXPECT_EQ(after.mode, 0640u);
         EXPECT_EQ(after.owner, kNobody);
         EXPECT_NE(after.inode, before.inode) << "renamed into place, not rewritten";
     }},
    {"RootKeepsTheOwnerAndSetIdBitsOfAnotherUsersFile", true, false, true,
     [](const std::string& w) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 06755);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before) {
         FileStatus after = StatusOf(w + "/out.bmp");
         EXPECT_EQ(after.owner, kNobody);
         EXPECT_EQ(after.group, kNobody);
         EXPECT_EQ(after.mode, 06755u);
         EXPECT_NE(after.inode, before.inode);
     }},
    {"HardLinkedFileIsRewrittenInPlaceForEveryName", false, false, true,
     [](const std::string& w) {
         MakeFile(w + "/out.bmp", kOld, kCaller, 0644);
         EXPECT_EQ(link((w + "/out.bmp").c_str(), (w + "/other.bmp").c_str()), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before) {
         EXPECT_TRUE(HoldsTheRecolouredImage(w + "/other.bmp"));
         EXPECT_EQ(StatusOf(w + "/out.bmp").inode, before.inode);
         EXPECT_EQ(StatusOf(w + "/out.bmp").links, 2u);
     }},
    {"WritableFileInAReadOnlyFolderIsRewrittenInPlace", true, true, true,
     [](const std::string& w) {
         MakeFile(w + "/out.bmp", kOld, kNobody, 0644);
         EXPECT_EQ(chmod(w.c_str(), 0555), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus& before) {
         EXPECT_EQ(StatusOf(w + "/out.bmp").inode, before.inode);
     }},
    {"OthersWritableFileInAStickyFolderKeepsItsOwner", true, true, true,
     [](const std::string& w) {
         EXPECT_EQ(chmod(w.c_str(), 01777), 0);
         MakeFile(w + "/out.bmp", kOld, 0, 0666);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&) {
         EXPECT_EQ(StatusOf(w + "/out.bmp").owner, 0u);
         EXPECT_EQ(StatusOf(w + "/out.bmp").mode, 0666u);
     }},
    {"NewNameOf250Bytes", false, false, true, [](const std::string&) { return kLongName; },
     [](const std::string&, const FileStatus&) {}},
    {"ExistingNameOf250Bytes", false, false, true,
     [](const std::string& w) {
         MakeFile(w + "/" + kLongName, kOld, kCaller, 0644);
         return kLongName;
     },
     [](const std::string&, const FileStatus&) {}},
    {"DanglingLinkGetsItsTargetAndStaysALink", false, false, true,
     [](const std::string& w) {
         MakeFolder(w + "/elsewhere", kCaller, 0755);
         EXPECT_EQ(symlink("elsewhere/new.bmp", (w + "/out.bmp").c_str()), 0);
         return std::string("out.bmp");
     },
     [](const std::string& w, const FileStatus&) {
         EXPECT_TRUE(fs::is_symlink(w + "/out.bmp"));
         EXPECT_TRUE(HoldsTheRecolouredImage(w + "/elsewhere/new.bmp"));
         EXPECT_EQ(fs::directory_iterator(w + "/elsewhere")->path().filename(), "new.bmp");
     }},
    {"FifoWithoutAReaderIsRefusedAtOnce", false, false, false,
     [](const std::string& w) {
         EXPECT_EQ(mkfifo((w + "/out.bmp").c_str(), 0600), 0);
         return std::string("out.bmp");
     },
     [](const std::string&, const FileStatus&) {}},
};

void PrintTo(const OutputCase& test, std::ostream* out)
{
    *out << test.name;
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
    std::string output = w + "/" + test.arrange(w);
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(w)) {
        entries.push_back(entry.path().filename().string());
    }
    FileStatus before = fs::exists(fs::symlink_status(output)) ? StatusOf(output) : FileStatus{};

    ProcessResult result = Pavonize({in_, output}, {.asNobody = test.asNobody});
    EXPECT_EQ(result.exitStatus, test.saved ? 0 : 1) << result.err;
    EXPECT_EQ(result.out, test.saved ? kSuccess : kRefused);
    if (test.saved) {
        EXPECT_TRUE(HoldsTheRecolouredImage(output));
    } else if (!fs::is_fifo(output)) {
        FileStatus after = StatusOf(output);
        EXPECT_EQ(after.inode, before.inode);
        EXPECT_EQ(after.mode, before.mode);
    }
    test.check(w, before);
    // No temporary is left beside the output.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(w)) {
        left.push_back(entry.path().filename().string());
    }
    if (entries.empty()) {
        entries.push_back(fs::path(output).filename().string());
    }
    std::sort(entries.begin(), entries.end());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, entries);
}

INSTANTIATE_TEST_SUITE_P(Outputs, OutputCaseTest, ::testing::ValuesIn(kOutputCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostProcessTest, OutputDeeperThanPathMaxIsReplaced)
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
    ProcessResult result = Pavonize({in_, "out.bmp"});
    ASSERT_EQ(fchdir(here), 0);
    close(here);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kSuccess);
    struct stat status {};
    ASSERT_EQ(fstatat(folders.back(), "out.bmp", &status, 0), 0);
    EXPECT_EQ(status.st_size, static_cast<off_t>(SmallImage().size()));
    // Removed from the bottom up, each name short, where a whole path
    // would be too long.
    EXPECT_EQ(unlinkat(folders.back(), "out.bmp", 0), 0);
    for (size_t i = folders.size() - 1; i > 0; --i) {
        close(folders[i]);
        EXPECT_EQ(unlinkat(folders[i - 1], name.c_str(), AT_REMOVEDIR), 0);
    }
    close(folders[0]);
}

TEST_F(HostProcessTest, FifoOutputWhoseReaderLeavesIsAWriteFailure)
{
    // Larger than a pipe holds, so the writer is still writing when the
    // reader goes; pavonize ignores SIGPIPE, so the write fails instead.
    BmpLayout layout{.width = 512,
                     .height = 512,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(512, 512, [](int x, int y) { return x ^ y; })};
    WriteFileBytes(in_, BuildBmp(layout));
    std::string fifo = scratch_.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
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
    EXPECT_EQ(result.out, "BMP image loaded successfully!\nwrite BMP image failed\n");
}

TEST_F(HostProcessTest, DanglingLinkOntoAFullVolumeLeavesNothing)
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
    int filler = open((full + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    char block[4096] = {};
    while (write(filler, block, sizeof block) > 0) {
    }
    close(filler);
    WriteFileBytes(in_, SmallImage());
    ASSERT_EQ(symlink("full/new.bmp", out_.c_str()), 0);
    ProcessResult result = Pavonize({in_, out_});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "BMP image loaded successfully!\nwrite BMP image failed\n");
    EXPECT_EQ(fs::directory_iterator(full)->path().filename(), "filler");
    EXPECT_EQ(std::distance(fs::directory_iterator(full), fs::directory_iterator()), 1);
    EXPECT_TRUE(fs::is_symlink(out_));
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
