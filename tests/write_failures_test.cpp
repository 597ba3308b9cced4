// Saves that fail for real, in real processes: a device that is always
// full, a file-size limit, a file system that fills up and a FIFO whose
// reader goes. Each is reported with status 1 and "write BMP image failed",
// never "image saved", and leaves whatever was at the output as it was.
#include <gtest/gtest.h>

#include <cerrno>
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
#include "support/expected_messages.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace expected_messages;

class WriteFailureTest : public ScratchFilesTest {};

TEST_F(WriteFailureTest, FullVolumeNeverSaysSavedAndKeepsTheOriginal)
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

TEST_F(WriteFailureTest, FifoOutputGetsTheChosenColoursAndAReaderThatLeavesFailsIt)
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

TEST_F(WriteFailureTest, FullVolumeLeavesNothingNewAndKeepsAFileRewrittenInPlace)
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
