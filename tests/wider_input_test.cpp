// The input variants beyond the plain layout, through the whole call: RLE8
// data, OS/2 core headers and the pixel offset some writers get wrong. Each
// comes out as the plain uncompressed layout, banded by the file's palette.
#include <gtest/gtest.h>

#include "recolour_bitmap.h"
#include "support/bmp_variants.h"
#include "support/in_process.h"
#include "support/paths.h"
#include "support/process.h"

namespace {

using WiderInputTest = RecolourFileTest;

// 255 - i for entry i: bands come out reversed, which shows the palette was
// read from where it is and not taken for rows or skipped.
Bytes InvertedPalette(int entryBytes)
{
    Bytes palette;
    for (int i = 0; i < 256; ++i) {
        palette.insert(palette.end(), 3, static_cast<uint8_t>(255 - i));
        if (entryBytes == 4) {
            palette.push_back(0);
        }
    }
    return palette;
}

void ExpectPlainLayout(const Bytes& out, int32_t width, int32_t height, uint32_t imageBytes)
{
    ASSERT_EQ(out.size(), 1078u + imageBytes);
    EXPECT_EQ(Le32At(out, 2), 1078u + imageBytes);
    EXPECT_EQ(Le32At(out, 10), 1078u);
    EXPECT_EQ(Le32At(out, 14), 40u);
    EXPECT_EQ(static_cast<int32_t>(Le32At(out, 18)), width);
    EXPECT_EQ(static_cast<int32_t>(Le32At(out, 22)), height);
    EXPECT_EQ(Le16At(out, 28), 8u);
    EXPECT_EQ(Le32At(out, 30), 0u) << "written uncompressed";
    EXPECT_EQ(Le32At(out, 34), imageBytes);
}

TEST_F(WiderInputTest, Rle8IsDecodedAndWrittenUncompressed)
{
    // 5 x 3, rows of 8 bytes; bands 0-3 for values 0-63, ..., 192-255.
    Bytes stream = Rle8Stream({Rle8Run(2, 200), Rle8Literal({100, 130, 70}), Rle8EndOfLine(),
                               Rle8Delta(1, 0), Rle8Literal({250, 64, 128, 192}), Rle8EndOfLine(),
                               Rle8Run(1, 255), Rle8EndOfBitmap()});
    Bytes out = Recolour(BuildRle8Bmp(5, 3, stream));
    ExpectPlainLayout(out, 5, 3, 24);
    EXPECT_EQ(Slice(out, 1078, 24), (Bytes{3, 3, 1, 2, 1, 0, 0, 0,  //
                                           0, 3, 1, 2, 3, 0, 0, 0,  //
                                           3, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(WiderInputTest, Rle8WithV5HeaderAndShortPaletteBandsByThatPalette)
{
    // ImageMagick's default: a 124-byte header and only the colours in use.
    BmpLayout layout{.width = 4,
                     .height = 2,
                     .infoSize = 124,
                     .compression = 1,
                     .coloursUsed = 3,
                     .palette = {0, 0, 0, 0, 255, 255, 255, 0, 100, 100, 100, 0},
                     .rows = Rle8Stream({Rle8Literal({0, 1, 2, 1}), Rle8EndOfLine(), Rle8Run(4, 2),
                                         Rle8EndOfBitmap()})};
    Bytes out = Recolour(BuildBmp(layout));
    ExpectPlainLayout(out, 4, 2, 8);
    EXPECT_EQ(Slice(out, 1078, 8), (Bytes{0, 3, 1, 3, 1, 1, 1, 1}));
}

TEST_F(WiderInputTest, EmptyRle8ImagesAreWrittenWithoutPixels)
{
    ExpectPlainLayout(Recolour(BuildRle8Bmp(0, 3, Rle8Stream({Rle8EndOfBitmap()}))), 0, 3, 0);
    ExpectPlainLayout(Recolour(BuildRle8Bmp(7, 0, {})), 7, 0, 0);
}

TEST_F(WiderInputTest, Os2CoreHeaderWithThreeBytePalette)
{
    // 260 pixels wide: the 16-bit width is read whole.
    CoreBmpLayout layout{
        .width = 260,
        .height = 2,
        .palette = InvertedPalette(3),
        .rows = MakeRows(260, 2, [](int x, int y) { return y == 0 ? x : 255 - x % 256; })};
    Bytes out = Recolour(BuildCoreBmp(layout));
    ExpectPlainLayout(out, 260, 2, 520);
    // Index v is grey 255 - v: index 0 is band 3, index 255 band 0.
    EXPECT_EQ(out[1078 + 0], 3);
    EXPECT_EQ(out[1078 + 255], 0);
    EXPECT_EQ(out[1078 + 256], 3);  // index 0 again
    EXPECT_EQ(out[1078 + 260 + 0], 0);
    EXPECT_EQ(out[1078 + 260 + 100], 1);  // index 155: grey 100
}

TEST_F(WiderInputTest, PixelOffsetAtThePaletteMeansRowsFollowIt)
{
    // The writer fault: bfOffBits is 14 + the header size, palette present.
    Bytes rows = {0, 100, 200, 255};
    BmpLayout info{
        .width = 4, .height = 1, .palette = InvertedPalette(4), .rows = rows, .pixelOffset = 54};
    EXPECT_EQ(Slice(Recolour(BuildBmp(info)), 1078, 4), (Bytes{3, 2, 0, 0}));

    CoreBmpLayout core{
        .width = 4, .height = 1, .palette = InvertedPalette(3), .rows = rows, .pixelOffset = 26};
    EXPECT_EQ(Slice(Recolour(BuildCoreBmp(core)), 1078, 4), (Bytes{3, 2, 0, 0}));
}

}  // namespace
