// Loading and saving through the whole call, in process: what reaches the
// output file, byte for byte, and what the loader makes of unusual input.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

#include "image_state.h"
#include "orvanepavonize/orvanepavonize.h"
#include "platform.h"
#include "recolour_bitmap.h"
#include "support/bmp_builder.h"
#include "support/expected_band.h"
#include "support/expected_messages.h"
#include "support/in_process.h"
#include "support/paths.h"
#include "support/process.h"

namespace {

using namespace expected_messages;

class BitmapFileTest : public RecolourFileTest {
protected:
    void SetUp() override
    {
        RecolourFileTest::SetUp();
        UseCountingRandomSource();
    }
};

TEST_F(BitmapFileTest, TwoByTwoImageIsWrittenByteForByte)
{
    BmpLayout layout{.width = 2,
                     .height = 2,
                     .palette = GreyRampPalette(),
                     .rows = {0, 100, 70, 70, 150, 255, 200, 10}};
    Bytes out = Recolour(BuildBmp(layout));
    ASSERT_EQ(out.size(), 1086u);
    const Bytes fileHeader = {0x42, 0x4D, 0x3E, 0x04, 0, 0, 0, 0, 0, 0, 0x36, 0x04, 0, 0};
    Bytes infoHeader = {0x28, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0, 8, 0, 0, 0};
    infoHeader.resize(40, 0);
    EXPECT_EQ(Slice(out, 0, 14), fileHeader);
    EXPECT_EQ(Slice(out, 14, 40), infoHeader);
    // Entries 0-3 from the counting source (10, 20, 30, ...), blue first.
    const Bytes coloured = {30, 20, 10, 0, 60, 50, 40, 0, 90, 80, 70, 0, 120, 110, 100, 0};
    EXPECT_EQ(Slice(out, 54, 16), coloured);
    EXPECT_EQ(Slice(out, 70, 1008), Slice(GreyRampPalette(), 16, 1008));  // entries 4-255
    // Padding (the last two bytes of each row) is banded like pixels.
    EXPECT_EQ(Slice(out, 1078, 8), (Bytes{0, 1, 1, 1, 2, 3, 3, 0}));
}

TEST_F(BitmapFileTest, HundredByFiftySizes)
{
    BmpLayout layout{.width = 100,
                     .height = 50,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(100, 50, [](int x, int y) { return x + y; })};
    Bytes out = Recolour(BuildBmp(layout));
    EXPECT_EQ(out.size(), 6078u);
    EXPECT_EQ(Le32At(out, 2), 6078u);
    EXPECT_EQ(Le32At(out, 10), 1078u);
    EXPECT_EQ(Le32At(out, 14 + 20), 5000u);
    // Pixel (x, y) holds x + y: the last pixel of the last row is 148.
    EXPECT_EQ(out[1078 + 49 * 100 + 99], ExpectedBand(148));
}

TEST_F(BitmapFileTest, InputHeadersAndPaletteNeverReachTheOutput)
{
    Bytes palette;
    for (int i = 0; i < 256; ++i) {  // a colourful palette: red ramp
        palette.insert(palette.end(), {0, 0, uint8_t(i), 0x7F});
    }
    BmpLayout layout{.width = 3, .height = 1, .palette = palette, .rows = {1, 2, 3, 0}};
    Bytes out = Recolour(BuildBmp(layout));
    for (int field : {16, 24, 28, 32, 36}) {  // compression, resolutions, colour counts
        EXPECT_EQ(Le32At(out, 14 + field), 0u) << "field at " << field;
    }
    EXPECT_EQ(Slice(out, 70, 1008), Slice(GreyRampPalette(), 16, 1008));  // entries 4-255
}

TEST_F(BitmapFileTest, LongerHeadersShortPalettesAndGapsAreReadFromThePixelOffset)
{
    // V5 header, as ImageMagick writes by default: rows at 14 + 124 + 1024.
    Bytes rows = MakeRows(5, 3, [](int x, int y) { return 60 * y + x; });
    Bytes expected = ExpectedBands(rows);
    BmpLayout v5{
        .width = 5, .height = 3, .infoSize = 124, .palette = GreyRampPalette(), .rows = rows};
    Bytes v5File = BuildBmp(v5);
    ASSERT_EQ(Le32At(v5File, 10), 1162u);
    EXPECT_EQ(Slice(Recolour(v5File), 1078, rows.size()), expected);

    // 200 palette entries and a 10-byte gap before the rows.
    BmpLayout shortPalette{.width = 5,
                           .height = 3,
                           .coloursUsed = 200,
                           .palette = GreyRampPalette(200),
                           .rows = rows,
                           .gapBeforePixels = 10};
    EXPECT_EQ(Slice(Recolour(BuildBmp(shortPalette)), 1078, rows.size()), expected);
}

TEST_F(BitmapFileTest, PixelsAreBandedByThePaletteGreyNotTheIndex)
{
    // Three greys as ImageMagick stores them: index 1 is mid grey, index 2
    // white, red entry 3 is dark by luma; index 9 lies past the palette.
    Bytes palette = {0, 0, 0, 0, 128, 128, 128, 0, 255, 255, 255, 0, 0, 0, 255, 0};
    BmpLayout layout{.width = 5,
                     .height = 1,
                     .coloursUsed = 4,
                     .palette = palette,
                     .rows = {0, 1, 2, 3, 9, 0, 0, 0}};
    Bytes out = Recolour(BuildBmp(layout));
    // Red 255 alone has luma (77 * 255 + 128) >> 8 = 77: band 1.
    EXPECT_EQ(Slice(out, 1078, 5), (Bytes{0, 2, 3, 1, 0}));
}

TEST_F(BitmapFileTest, TopDownRowsKeepTheirOrderAndNegativeHeight)
{
    BmpLayout layout{.width = 4,
                     .height = -3,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(4, 3, [](int, int y) { return 64 * y; })};
    Bytes out = Recolour(BuildBmp(layout));
    EXPECT_EQ(static_cast<int32_t>(Le32At(out, 14 + 8)), -3);
    EXPECT_EQ(Le32At(out, 14 + 20), 12u);
    EXPECT_EQ(Slice(out, 1078, 12), (Bytes{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}));
}

TEST_F(BitmapFileTest, EmptyImagesKeepHeadersAndPalette)
{
    for (auto [width, height] : {std::pair{0, 7}, std::pair{7, 0}}) {
        BmpLayout layout{.width = width, .height = height, .palette = GreyRampPalette()};
        Bytes out = Recolour(BuildBmp(layout));
        EXPECT_EQ(out.size(), 1078u);
        EXPECT_EQ(static_cast<int32_t>(Le32At(out, 18)), width);
        EXPECT_EQ(static_cast<int32_t>(Le32At(out, 22)), height);
        EXPECT_EQ(Le32At(out, 14 + 20), 0u);
    }
}

TEST_F(BitmapFileTest, SecondCallGivesSameBandsAndTheNextColours)
{
    BmpLayout layout{
        .width = 4, .height = 1, .palette = GreyRampPalette(), .rows = {0, 90, 140, 250}};
    Bytes first = Recolour(BuildBmp(layout));
    EXPECT_EQ(imageState.pixels, nullptr);
    EXPECT_EQ(imageState.palette, nullptr);
    Bytes second = Recolour(BuildBmp(layout));
    EXPECT_EQ(Slice(first, 1078, 4), Slice(second, 1078, 4));
    EXPECT_EQ(second[54 + 2], 130);          // red of entry 0 is the 13th draw
    EXPECT_EQ(second[54 + 3 * 4 + 0], 240);  // blue of entry 3 is the 24th
}

TEST_F(BitmapFileTest, SamePathInAndOutReplacesTheInput)
{
    BmpLayout layout{.width = 4,
                     .height = 2,
                     .palette = GreyRampPalette(),
                     .rows = {0, 64, 128, 192, 255, 191, 127, 63}};
    WriteFileBytes(in_, BuildBmp(layout));
    CallOutcome outcome =
        RunIntercepted([&] { RecolourBitmap(Utf16(in_).c_str(), Utf16(in_).c_str()); });
    EXPECT_EQ(outcome.out, kSuccess);
    Bytes out = ReadFileBytes(in_);
    EXPECT_EQ(Slice(out, 1078, 8), (Bytes{0, 1, 2, 3, 3, 2, 1, 0}));
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
}

TEST_F(BitmapFileTest, WidePathsBecomeUtf8AndUnpairedSurrogatesBecomeQuestionMarks)
{
    BmpLayout layout{.width = 1, .height = 1, .palette = GreyRampPalette(), .rows = {200, 0, 0, 0}};
    WriteFileBytes(scratch_.Path("grün 漢 😀.bmp"), BuildBmp(layout));
    std::u16string input = Utf16(scratch_.Path("grün 漢 😀.bmp"));
    std::u16string output = Utf16(scratch_.Path("x")) + u'\xD800' + u".bmp";
    CallOutcome outcome = RunIntercepted([&] { RecolourBitmap(input.c_str(), output.c_str()); });
    EXPECT_FALSE(outcome.ended) << outcome.out;
    EXPECT_TRUE(std::filesystem::exists(scratch_.Path("x?.bmp")));
}

TEST_F(BitmapFileTest, MissingOrAbsentPathsEndTheCallWithTheirMessages)
{
    CallOutcome missing = RunIntercepted(
        [&] { RecolourBitmap(Utf16(scratch_.Path("none.bmp")).c_str(), Utf16(out_).c_str()); });
    EXPECT_TRUE(missing.ended);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, kInputFailed);

    CallOutcome absentInput = RunIntercepted([&] { RecolourBitmap(nullptr, Utf16(out_).c_str()); });
    EXPECT_EQ(absentInput.out, kInputFailed);

    BmpLayout layout{.width = 1, .height = 1, .palette = GreyRampPalette(), .rows = {1, 0, 0, 0}};
    WriteFileBytes(in_, BuildBmp(layout));
    CallOutcome absentOutput = RunIntercepted([&] { RecolourBitmap(Utf16(in_).c_str(), nullptr); });
    EXPECT_TRUE(absentOutput.ended);
    EXPECT_EQ(absentOutput.out, kOutputRefused);
    EXPECT_EQ(imageState.pixels, nullptr);  // nothing left allocated
    EXPECT_EQ(scratch_.List(), std::vector<std::string>{"in.bmp"});
}

// ---- The calls that return their failure -------------------------------------

BmpLayout SmallLayout()
{
    return {.width = 3,
            .height = 2,
            .palette = GreyRampPalette(),
            .rows = {0, 70, 140, 0, 210, 255, 60, 0}};
}

// What a call of PavonizeFile comes to, in a folder holding in.bmp (the
// small image) and out.bmp ("old"): the paths it is given, made from the
// folder's own, and what it must report.
struct StatusCase {
    const char* name;
    const char* input;   // nullptr: a null path
    const char* output;  // nullptr: a null path
    int32_t problem;
    int32_t osError;
    std::string message;
    FaultPoint fault = FaultPoint::Count;  // armed for the call, if any
};

const StatusCase kStatusCases[] = {
    {"Saved", "in.bmp", "out.bmp", PAVONIZE_OK, 0, ""},
    {"MissingInput", "none.bmp", "out.bmp", PAVONIZE_INPUT_UNREADABLE, ENOENT,
     Reason(kInputFailed)},
    {"NullInput", nullptr, "out.bmp", PAVONIZE_INPUT_UNREADABLE, 0, Reason(kInputFailed)},
    {"FolderAsInput", ".", "out.bmp", PAVONIZE_INPUT_UNREADABLE, 0, Reason(kInputIsDirectory)},
    {"MissingOutputFolder", "in.bmp", "none/out.bmp", PAVONIZE_OUTPUT_FAILED, ENOENT,
     kOutputFailed},
    {"NullOutput", "in.bmp", nullptr, PAVONIZE_OUTPUT_FAILED, 0, kOutputFailed},
    {"FolderAsOutput", "in.bmp", ".", PAVONIZE_OUTPUT_FAILED, EISDIR, kOutputFailed},
    {"FullDiskAtThePixelRows", "in.bmp", "out.bmp", PAVONIZE_OUTPUT_FAILED, ENOSPC,
     Reason(kWriteFailed), FaultPoint::Write},
    {"FailingDiskAtTheSync", "in.bmp", "out.bmp", PAVONIZE_OUTPUT_FAILED, EIO, Reason(kWriteFailed),
     FaultPoint::Sync},
};

void PrintTo(const StatusCase& test, std::ostream* out)
{
    *out << test.name;
}

class StatusCallTest : public InProcessTest, public ::testing::WithParamInterface<StatusCase> {
protected:
    void TearDown() override
    {
        PlatformInjectFault(
            GetParam().fault == FaultPoint::Count ? FaultPoint::Write : GetParam().fault, 0);
        InProcessTest::TearDown();
    }
    ScratchDirectory scratch_;
};

TEST_P(StatusCallTest, ReturnsTheProblemWithoutPrintingOrEnding)
{
    const StatusCase& test = GetParam();
    WriteFileBytes(scratch_.Path("in.bmp"), BuildBmp(SmallLayout()));
    const Bytes old = {'o', 'l', 'd'};
    WriteFileBytes(scratch_.Path("out.bmp"), old);
    std::string input = test.input == nullptr ? "" : scratch_.Path(test.input);
    std::string output = test.output == nullptr ? "" : scratch_.Path(test.output);
    if (test.fault != FaultPoint::Count) {
        // The third write is the pixel rows'.
        PlatformInjectFault(test.fault, test.fault == FaultPoint::Write ? 3 : 1);
    }
    PavonizeStatus status{};
    int32_t result = -1;
    CallOutcome outcome = RunIntercepted([&] {
        result = PavonizeFile(test.input == nullptr ? nullptr : input.c_str(),
                              test.output == nullptr ? nullptr : output.c_str(), nullptr, &status);
    });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(result, test.problem);
    EXPECT_EQ(status.problem, test.problem);
    EXPECT_EQ(status.osError, test.osError) << std::strerror(status.osError);
    EXPECT_EQ(std::string(status.message), test.message);
    Bytes out = ReadFileBytes(scratch_.Path("out.bmp"));
    if (test.problem == PAVONIZE_OK) {
        EXPECT_EQ(Slice(out, 1078, 8), (Bytes{0, 1, 2, 0, 3, 3, 0, 0}));
    } else {
        EXPECT_EQ(out, old);
    }
    EXPECT_EQ(scratch_.List(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

INSTANTIATE_TEST_SUITE_P(Table, StatusCallTest, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitmapFileTest, ChosenColoursTakeEntriesZeroToThreeAndDrawNothing)
{
    Bytes drawn = Recolour(BuildBmp(SmallLayout()));  // draws 10, 20, ... 120
    ASSERT_EQ(PavonizeFile(in_.c_str(), out_.c_str(), kChosenRgb, nullptr), PAVONIZE_OK);
    Bytes chosen = ReadFileBytes(out_);
    ASSERT_EQ(chosen.size(), drawn.size());
    EXPECT_EQ(Slice(chosen, 54, 16), kChosenColours);
    EXPECT_EQ(Slice(chosen, 0, 54), Slice(drawn, 0, 54));
    EXPECT_EQ(Slice(chosen, 70, chosen.size() - 70), Slice(drawn, 70, drawn.size() - 70));
    // The next drawn colours are the generator's next twelve values.
    Bytes next = Recolour(BuildBmp(SmallLayout()));
    EXPECT_EQ(next[54 + 2], 130);
}

TEST_F(BitmapFileTest, MemoryCallGivesTheFileCallsBytesAndHandsOverItsBuffer)
{
    Bytes input = BuildBmp(SmallLayout());
    WriteFileBytes(in_, input);
    ASSERT_EQ(PavonizeFile(in_.c_str(), out_.c_str(), kChosenRgb, nullptr), PAVONIZE_OK);
    void* output = nullptr;
    size_t outputSize = 0;
    PavonizeStatus status{};
    ASSERT_EQ(PavonizeMemory(input.data(), input.size(), kChosenRgb, &output, &outputSize, &status),
              PAVONIZE_OK);
    EXPECT_EQ(std::string(status.message), "");
    ASSERT_NE(output, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(output);
    EXPECT_EQ(Bytes(bytes, bytes + outputSize), ReadFileBytes(out_));
    PavonizeRelease(output);
    PavonizeRelease(nullptr);

    // Nowhere to hand the image to is an output that cannot be made.
    EXPECT_EQ(PavonizeMemory(input.data(), input.size(), nullptr, nullptr, &outputSize, &status),
              PAVONIZE_OUTPUT_FAILED);
    EXPECT_EQ(std::string(status.message), kOutputFailed);
    EXPECT_EQ(PavonizeMemory(nullptr, 10, nullptr, &output, &outputSize, nullptr),
              PAVONIZE_INPUT_UNREADABLE);
    EXPECT_EQ(output, nullptr);
}

}  // namespace
