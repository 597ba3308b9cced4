#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "band_colouring.h"
#include "image_state.h"
#include "support/expected_band.h"
#include "support/in_process.h"

namespace {

class BandColouringTest : public InProcessTest {
protected:
    void SetUp() override
    {
        InProcessTest::SetUp();
        imageState.palette = palette_;
        for (int i = 0; i < kPaletteEntries; ++i) {
            palette_[i] = PaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
            imageState.indexGrey[i] = static_cast<uint8_t>(i);  // identity palette
        }
        UseCountingRandomSource();
    }
    void TearDown() override
    {
        imageState.palette = nullptr;  // not ours to release
        InProcessTest::TearDown();
    }
    PaletteEntry palette_[kPaletteEntries];
};

TEST_F(BandColouringTest, BandBoundariesFallOnMultiplesOf64)
{
    const int values[] = {0, 63, 64, 127, 128, 191, 192, 255};
    const int bands[] = {0, 0, 1, 1, 2, 2, 3, 3};
    std::vector<uint8_t> pixels(std::begin(values), std::end(values));
    ApplyColourBands(pixels.data(), 1, static_cast<int32_t>(pixels.size()));
    for (size_t i = 0; i < pixels.size(); ++i) {
        EXPECT_EQ(pixels[i], bands[i]) << "value " << values[i];
        EXPECT_EQ(BandIndex(values[i], 4), bands[i]);
    }
    for (int value = 0; value < 256; ++value) {
        ASSERT_EQ(BandIndex(value, 4), ExpectedBand(value)) << value;
    }
}

TEST_F(BandColouringTest, CountingGeneratorFillsEntriesRedGreenBlueInOrder)
{
    uint8_t pixel = 0;
    ApplyColourBands(&pixel, 1, 1);
    // Entry 0: red 10, green 20, blue 30, stored blue first.
    EXPECT_EQ(palette_[0].blue, 30);
    EXPECT_EQ(palette_[0].green, 20);
    EXPECT_EQ(palette_[0].red, 10);
    EXPECT_EQ(palette_[0].reserved, 0);
    EXPECT_EQ(palette_[1].red, 40);
    // Entry 3 gets draws 10-12: 100, 110, 120.
    EXPECT_EQ(palette_[3].red, 100);
    EXPECT_EQ(palette_[3].blue, 120);
    // Entries past the four are left alone.
    EXPECT_EQ(palette_[4].red, 4);
    EXPECT_EQ(palette_[255].blue, 255);
}

TEST_F(BandColouringTest, ChannelsKeepTheirLowEightBits)
{
    SetPaletteEntry(palette_, 7, 256 + 1, -1, 0x1234);
    EXPECT_EQ(palette_[7].red, 1);
    EXPECT_EQ(palette_[7].green, 255);
    EXPECT_EQ(palette_[7].blue, 0x34);
    EXPECT_EQ(palette_[7].reserved, 0);
}

TEST_F(BandColouringTest, EmptyOrNegativeAreaTouchesNoPixelButStillDraws)
{
    std::vector<uint8_t> pixels(16, 200);
    ApplyColourBands(pixels.data(), 0, 16);
    ApplyColourBands(pixels.data(), -4, 4);
    EXPECT_EQ(pixels, std::vector<uint8_t>(16, 200));
    // Two calls made 24 draws: entry 3 of the second has the 22nd to 24th.
    EXPECT_EQ(palette_[3].red, 220);
    EXPECT_EQ(palette_[3].blue, 240 % 256);
}

TEST_F(BandColouringTest, PaddingBytesAreMappedLikePixels)
{
    // 101 pixels at 8 bits: rows of 104 bytes, three of them padding.
    std::vector<uint8_t> pixels(104 * 2, 250);
    ApplyColourBands(pixels.data(), 2, 104);
    EXPECT_EQ(pixels, std::vector<uint8_t>(104 * 2, 3));
}

TEST_F(BandColouringTest, BandsFollowTheGreyLevelOfEachIndex)
{
    // A palette where index 1 is white and index 200 is black.
    imageState.indexGrey[1] = 255;
    imageState.indexGrey[200] = 0;
    uint8_t pixels[] = {1, 200, 100};
    ApplyColourBands(pixels, 1, 3);
    EXPECT_EQ(pixels[0], 3);
    EXPECT_EQ(pixels[1], 0);
    EXPECT_EQ(pixels[2], 1);
}

// Every value, at every start offset within a word and with lengths that
// leave a tail of 0-7 bytes, against bands worked out here from the grey
// level of each index.
void ExpectEveryValueBandedByGrey(const uint8_t* indexGrey)
{
    std::vector<uint8_t> buffer(8 + 256 * 3 + 8);
    for (int offset = 0; offset < 8; ++offset) {
        for (int length : {1, 7, 8, 9, 255, 256 * 3 + 5}) {
            uint8_t* pixels = buffer.data() + offset;
            for (int i = 0; i < length; ++i) {
                pixels[i] = static_cast<uint8_t>(i * 37);  // 37 is odd: all 256 values
            }
            ApplyColourBands(pixels, 1, length);
            for (int i = 0; i < length; ++i) {
                int value = static_cast<uint8_t>(i * 37);
                ASSERT_EQ(pixels[i], ExpectedBand(indexGrey[value]))
                    << "value " << value << " offset " << offset << " length " << length;
            }
        }
    }
}

TEST_F(BandColouringTest, GreyRampBandsEveryValueAtAnyAlignment)
{
    ExpectEveryValueBandedByGrey(imageState.indexGrey);
}

TEST_F(BandColouringTest, AnyOtherPaletteBandsEveryValueAtAnyAlignment)
{
    for (int i = 0; i < kPaletteEntries; ++i) {
        imageState.indexGrey[i] = static_cast<uint8_t>(255 - i);  // an inverted ramp
    }
    ExpectEveryValueBandedByGrey(imageState.indexGrey);
    // A ramp with one index out of place must not be taken for a ramp.
    for (int i = 0; i < kPaletteEntries; ++i) {
        imageState.indexGrey[i] = static_cast<uint8_t>(i);
    }
    imageState.indexGrey[255] = 0;
    ExpectEveryValueBandedByGrey(imageState.indexGrey);
}

TEST(RowBytesTest, PadsToFourBytesAndDropsPartialBytes)
{
    EXPECT_EQ(RowBytes(100, 8), 100);
    EXPECT_EQ(RowBytes(101, 8), 104);
    EXPECT_EQ(RowBytes(33, 24), 100);
    EXPECT_EQ(RowBytes(33, 1), 4);
    EXPECT_EQ(RowBytes(0, 8), 0);
    EXPECT_EQ(RowBytes(INT32_MAX, 8), 2147483648LL);  // no 32-bit overflow
}

}  // namespace
