#include "imagemagick.h"

#include <gtest/gtest.h>

#include "bmp_builder.h"
#include "expected_band.h"

void ExpectEachPixelInTheBandOfItsGrey(const std::string& in, const std::string& out,
                                       size_t pixelCount, const ScratchDirectory& scratch)
{
    std::string greyPath = scratch.Path("in.gray");
    std::string rgbPath = scratch.Path("out.rgb");
    ASSERT_EQ(RunProcess({kConvert, in, "-depth", "8", "gray:" + greyPath}).exitStatus, 0);
    ASSERT_EQ(RunProcess({kConvert, out, "-depth", "8", "rgb:" + rgbPath}).exitStatus, 0);
    Bytes grey = ReadFileBytes(greyPath);
    Bytes rgb = ReadFileBytes(rgbPath);
    Bytes result = ReadFileBytes(out);
    ASSERT_EQ(grey.size(), pixelCount);
    ASSERT_EQ(rgb.size(), grey.size() * 3);
    int bandsSeen[kExpectedBandCount] = {};
    for (size_t i = 0; i < grey.size(); ++i) {
        int band = ExpectedBand(grey[i]);
        ++bandsSeen[band];
        const uint8_t* entry = result.data() + 54 + 4 * band;  // blue, green, red
        ASSERT_EQ(rgb[3 * i + 0], entry[2]) << "pixel " << i << " grey " << int(grey[i]);
        ASSERT_EQ(rgb[3 * i + 1], entry[1]) << "pixel " << i;
        ASSERT_EQ(rgb[3 * i + 2], entry[0]) << "pixel " << i;
    }
    for (int count : bandsSeen) {
        EXPECT_GT(count, 0);
    }
}
