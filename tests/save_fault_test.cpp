// A save that fails at any step, in a real process: reserving the space,
// the write of each part of the file, giving the replacement the old file's
// attributes, the sync, naming the temporary, the close and the rename,
// with an unnamed temporary and with the named one used where the file
// system has no unnamed ones; and saves that fail for real: a device that
// is always full, a file-size limit, a file system that fills up and a FIFO
// whose reader goes. Each ends with status 1 and "write BMP image failed",
// never "image saved", leaves no temporary file, and leaves whatever was at
// the output path as it was.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "support/bmp_builder.h"
#include "support/command_line.h"
#include "support/expected_band.h"
#include "support/expected_messages.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;

using namespace expected_messages;

struct SaveStep {
    const char* name;
    const char* faults;  // as save_fault_host takes them
    bool newFileReachesIt = true;
};

// A save reserves its space, makes three writes (headers, palette, pixel
// rows), names its temporary, closes it and renames it, and before
// replacing an existing file gives the temporary what that file carries
// and syncs. A named temporary has no naming step; a new file is neither
// given attributes, synced nor renamed, as its temporary is linked straight
// to its name.
const SaveStep kSteps[] = {
    {"Reserve", "reserve:1"},
    {"HeaderWrite", "write:1"},
    {"PaletteWrite", "write:2"},
    {"PixelWrite", "write:3"},
    {"Attributes", "attributes:1", false},
    {"Sync", "sync:1", false},
    {"Link", "link:1"},
    {"Close", "close:1"},
    {"Rename", "rename:1", false},
    {"NamedHeaderWrite", "unnamed:1,write:1"},
    {"NamedPixelWrite", "unnamed:1,write:3"},
    {"NamedSync", "unnamed:1,sync:1", false},
    {"NamedClose", "unnamed:1,close:1"},
    {"NamedRename", "unnamed:1,rename:1"},
};

void PrintTo(const SaveStep& step, std::ostream* out)
{
    *out << step.name;
}

Bytes Image()
{
    BmpLayout layout{.width = 7,
                     .height = 5,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(7, 5, [](int x, int y) { return 37 * x + 11 * y; })};
    return BuildBmp(layout);
}

class SaveFaultTest : public ScratchFilesTest {
protected:
    ProcessResult Run(const std::string& faults, const std::string& input,
                      const std::string& output, const ProcessOptions& options = {})
    {
        return RunBuiltProgram({SAVE_FAULT_HOST, faults, input, output}, options);
    }
};

class EverySaveStepTest : public SaveFaultTest, public ::testing::WithParamInterface<SaveStep> {};

TEST_P(EverySaveStepTest, SamePathKeepsTheOriginalByteForByte)
{
    const Bytes original = Image();
    WriteFileBytes(in_, original);
    ProcessResult result = Run(GetParam().faults, in_, in_);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.out, kSaveFailed);
    EXPECT_EQ(ReadFileBytes(in_), original);
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
}

TEST_P(EverySaveStepTest, ExistingOutputIsKept)
{
    WriteFileBytes(in_, Image());
    WriteFileBytes(out_, {'o', 'l', 'd'});
    ProcessResult result = Run(GetParam().faults, in_, out_);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.out, kSaveFailed);
    EXPECT_EQ(ReadFileBytes(out_), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(scratch_.List(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

TEST_P(EverySaveStepTest, NewOutputIsNotCreated)
{
    WriteFileBytes(in_, Image());
    ProcessResult result = Run(GetParam().faults, in_, out_);
    if (!GetParam().newFileReachesIt) {
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.out, kSuccess);
        EXPECT_EQ(ReadFileBytes(out_).size(), Image().size());
        return;
    }
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.out, kSaveFailed);
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
}

INSTANTIATE_TEST_SUITE_P(Faults, EverySaveStepTest, ::testing::ValuesIn(kSteps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveFaultTest, FaultsPastTheLastStepNeverFireSoTheTableIsComplete)
{
    // A fourth write, a second reservation, close, rename, naming or giving
    // of attributes, or an in-place cut would mean a save step the table
    // above does not cover.
    const Bytes input = Image();
    WriteFileBytes(in_, input);
    for (const char* faults : {"write:4", "reserve:2", "close:2", "rename:2", "sync:2", "link:2",
                               "attributes:2", "truncate:1", "unnamed:1,link:1"}) {
        ProcessResult result = Run(faults, in_, in_);
        EXPECT_EQ(result.exitStatus, 0) << faults << result.err;
        EXPECT_EQ(result.out, kSuccess) << faults;
    }
    // Recoloured eight times over: the same size, every byte a band.
    Bytes out = ReadFileBytes(in_);
    ASSERT_EQ(out.size(), input.size());
    for (size_t i = 1078; i < out.size(); ++i) {
        ASSERT_LT(out[i], 4) << "byte " << i;
    }
}

TEST_F(SaveFaultTest, InPlaceRewriteReportsEveryFailureAndLeavesNoTemporary)
{
    // A second name makes the output be rewritten in place. A failed
    // reservation changes nothing on either name; later failures cannot
    // keep the old image, but are reported.
    const Bytes old = {'o', 'l', 'd'};
    WriteFileBytes(in_, Image());
    WriteFileBytes(out_, old);
    ASSERT_EQ(link(out_.c_str(), scratch_.Path("other.bmp").c_str()), 0);
    ProcessResult reserve = Run("reserve:1", in_, out_);
    EXPECT_EQ(reserve.exitStatus, 1);
    EXPECT_EQ(reserve.out, kSaveFailed);
    EXPECT_EQ(ReadFileBytes(scratch_.Path("other.bmp")), old);
    for (const char* faults : {"write:1", "write:3", "truncate:1", "sync:1", "close:1"}) {
        ProcessResult result = Run(faults, in_, out_);
        EXPECT_EQ(result.exitStatus, 1) << faults;
        EXPECT_EQ(result.out, kSaveFailed) << faults;
        EXPECT_EQ(scratch_.List(), (std::vector<std::string>{"in.bmp", "other.bmp", "out.bmp"}));
    }
}

TEST_F(SaveFaultTest, KilledSaveLeavesOnlyTheInputAndTheOldOutput)
{
    // Killed at the palette's write; and a file-size limit below the image,
    // which is found before anything is written even by a host that keeps
    // SIGXFSZ's default, so the save fails instead of being killed.
    WriteFileBytes(in_, Image());
    for (const std::string& existing : {std::string(), std::string("old")}) {
        if (!existing.empty()) {
            WriteFileBytes(out_, Bytes(existing.begin(), existing.end()));
        }
        ProcessResult killed = Run("write:2:kill", in_, out_);
        EXPECT_EQ(killed.signal, SIGKILL);
        EXPECT_EQ(killed.out, kLoaded);
        ProcessResult limited = Run("none", in_, out_, {.fileSizeLimit = 600});
        EXPECT_EQ(limited.exitStatus, 1);
        EXPECT_EQ(limited.out, kSaveFailed);
        if (existing.empty()) {
            EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
        } else {
            EXPECT_EQ(ReadFileBytes(out_), Bytes(existing.begin(), existing.end()));
            EXPECT_EQ(scratch_.List(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
        }
    }
}

TEST_F(SaveFaultTest, NewOutputHasNoOtherNameAtItsLastStep)
{
    // Killed as it is linked, a new output leaves nothing; it never has a
    // temporary name, so there is no rename to be killed at.
    WriteFileBytes(in_, Image());
    ProcessResult atLink = Run("link:1:kill", in_, out_);
    EXPECT_EQ(atLink.signal, SIGKILL);
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
    ProcessResult atRename = Run("rename:1:kill", in_, out_);
    EXPECT_EQ(atRename.exitStatus, 0);
    EXPECT_EQ(atRename.out, kSuccess);
    EXPECT_EQ(scratch_.List(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

TEST_F(SaveFaultTest, StraightThroughOutputsReportWriteAndCloseFailures)
{
    // A device is written in place, with no temporary file to fall back on;
    // the failure is still reported.
    WriteFileBytes(in_, Image());
    for (const char* point : {"write:1", "close:1"}) {
        ProcessResult result = Run(point, in_, "/dev/null");
        EXPECT_EQ(result.exitStatus, 1) << point;
        EXPECT_EQ(result.out, kSaveFailed) << point;
    }
}

TEST_F(SaveFaultTest, FullVolumeNeverSaysSavedAndKeepsTheOriginal)
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

TEST_F(SaveFaultTest, FifoOutputGetsTheChosenColoursAndAReaderThatLeavesFailsIt)
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

TEST_F(SaveFaultTest, FullVolumeLeavesNothingNewAndKeepsAFileRewrittenInPlace)
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

}  // namespace
