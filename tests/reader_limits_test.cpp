// Inputs at the reader's limits, in real processes: an image whose pixels
// cannot be allocated is refused with its reason, and a file too large for
// its size to be multiplied safely is measured without overflow.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "program_launcher.h"
#include "support/bmp_variants.h"
#include "support/command_line.h"
#include "support/expected_messages.h"

namespace {

namespace fs = std::filesystem;
using namespace expected_messages;

class ReaderLimitTest : public ScratchFilesTest {};

TEST_F(ReaderLimitTest, FailedAllocationIsReportedNotACrash)
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

TEST_F(ReaderLimitTest, HugeSparseRle8FileIsMeasuredWithoutOverflow)
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
