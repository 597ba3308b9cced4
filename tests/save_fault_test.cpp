// A save that fails at any step, in a real process: the write of each part
// of the file, the sync, the close and the rename. Each ends with status 1
// and "write BMP image failed", never "image saved", leaves no temporary
// file, and leaves whatever was at the output path as it was.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/bmp_builder.h"
#include "support/process.h"

namespace {

const std::string kLoaded = "BMP image loaded successfully!\n";
const std::string kFailed = kLoaded + "write BMP image failed\n";
const std::string kSaved = kLoaded + "image saved\n";

struct SaveStep {
    const char* name;
    const char* point;
    int occurrence;
};

// A save makes three writes (headers, palette, pixel rows), one close and
// one rename, and syncs before replacing an existing file.
const SaveStep kSteps[] = {
    {"HeaderWrite", "write", 1}, {"PaletteWrite", "write", 2}, {"PixelWrite", "write", 3},
    {"Sync", "sync", 1},         {"Close", "close", 1},        {"Rename", "rename", 1},
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

class SaveFaultTest : public ::testing::Test {
protected:
    ProcessResult Run(const char* point, int occurrence, const std::string& input,
                      const std::string& output)
    {
        return RunBuiltProgram({SAVE_FAULT_HOST, point, std::to_string(occurrence), input, output});
    }
    ScratchDirectory scratch_;
    std::string in_ = scratch_.Path("in.bmp");
    std::string out_ = scratch_.Path("out.bmp");
};

class EverySaveStepTest : public SaveFaultTest, public ::testing::WithParamInterface<SaveStep> {};

TEST_P(EverySaveStepTest, SamePathKeepsTheOriginalByteForByte)
{
    const Bytes original = Image();
    WriteFileBytes(in_, original);
    ProcessResult result = Run(GetParam().point, GetParam().occurrence, in_, in_);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.out, kFailed);
    EXPECT_EQ(ReadFileBytes(in_), original);
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
}

TEST_P(EverySaveStepTest, ExistingOutputIsKept)
{
    WriteFileBytes(in_, Image());
    WriteFileBytes(out_, {'o', 'l', 'd'});
    ProcessResult result = Run(GetParam().point, GetParam().occurrence, in_, out_);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.out, kFailed);
    EXPECT_EQ(ReadFileBytes(out_), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(scratch_.List(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

TEST_P(EverySaveStepTest, NewOutputIsNotCreated)
{
    WriteFileBytes(in_, Image());
    ProcessResult result = Run(GetParam().point, GetParam().occurrence, in_, out_);
    if (std::string(GetParam().point) == "sync") {
        // A new file has nothing to lose to a crash: it is not synced, so
        // the fault never fires.
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.out, kSaved);
        EXPECT_EQ(ReadFileBytes(out_).size(), Image().size());
        return;
    }
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.out, kFailed);
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
}

INSTANTIATE_TEST_SUITE_P(Faults, EverySaveStepTest, ::testing::ValuesIn(kSteps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveFaultTest, FaultsPastTheLastStepNeverFireSoTheTableIsComplete)
{
    // A fourth write, a second close or a second rename would mean a save
    // step the table above does not cover.
    const Bytes input = Image();
    WriteFileBytes(in_, input);
    for (const char* point : {"write:4", "close:2", "rename:2", "sync:2"}) {
        std::string layout = point;
        size_t colon = layout.find(':');
        ProcessResult result =
            Run(layout.substr(0, colon).c_str(), std::stoi(layout.substr(colon + 1)), in_, in_);
        EXPECT_EQ(result.exitStatus, 0) << point << result.err;
        EXPECT_EQ(result.out, kSaved) << point;
    }
    // Recoloured four times over: the same size, every byte a band.
    Bytes out = ReadFileBytes(in_);
    ASSERT_EQ(out.size(), input.size());
    for (size_t i = 1078; i < out.size(); ++i) {
        ASSERT_LT(out[i], 4) << "byte " << i;
    }
}

TEST_F(SaveFaultTest, StraightThroughOutputsReportWriteAndCloseFailures)
{
    // A device is written in place, with no temporary file to fall back on;
    // the failure is still reported.
    WriteFileBytes(in_, Image());
    for (const char* point : {"write", "close"}) {
        ProcessResult result = Run(point, 1, in_, "/dev/null");
        EXPECT_EQ(result.exitStatus, 1) << point;
        EXPECT_EQ(result.out, kFailed) << point;
    }
}

}  // namespace
