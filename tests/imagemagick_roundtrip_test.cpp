// Round trip through an independent reader and writer: ImageMagick makes an
// 8-bit BMP the way it does by default (V5 header, palette of only the
// greys in use), pavonize recolours it, and ImageMagick's view of the result
// must show each pixel in the palette colour of its grey band.
#include <gtest/gtest.h>

#include <unistd.h>

#include "support/bmp_builder.h"
#include "support/imagemagick.h"
#include "support/process.h"

namespace {

TEST(ImageMagickRoundTrip, ImageMagicksViewShowsTheFourBandColours)
{
    if (!HaveImageMagick()) {
        GTEST_SKIP() << "ImageMagick is not installed (apt-get install imagemagick)";
    }
    ScratchDirectory scratch;
    std::string in = scratch.Path("in.bmp");
    std::string out = scratch.Path("out.bmp");
    // 37 wide: odd, so rows carry padding; 70 greys from white to black,
    // enough that ImageMagick writes 8 bits rather than 4.
    ProcessResult made = RunProcess({kConvert, "-size", "37x70", "gradient:white-black", "-type",
                                     "Palette", "-depth", "8", "-compress", "none", "BMP:" + in});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    Bytes input = ReadFileBytes(in);
    ASSERT_GT(Le32At(input, 14), 40u) << "expected ImageMagick's longer default header";

    ProcessResult recoloured = RunBuiltProgram({PAVONIZE_EXE, in, out});
    ASSERT_EQ(recoloured.exitStatus, 0) << recoloured.out;

    std::string greyPath = scratch.Path("in.gray");
    std::string rgbPath = scratch.Path("out.rgb");
    ASSERT_EQ(RunProcess({kConvert, in, "-depth", "8", "gray:" + greyPath}).exitStatus, 0);
    ASSERT_EQ(RunProcess({kConvert, out, "-depth", "8", "rgb:" + rgbPath}).exitStatus, 0);
    Bytes grey = ReadFileBytes(greyPath);
    Bytes rgb = ReadFileBytes(rgbPath);
    Bytes result = ReadFileBytes(out);
    ASSERT_EQ(grey.size(), 37u * 70u);
    ASSERT_EQ(rgb.size(), grey.size() * 3);
    int bandsSeen[4] = {};
    for (size_t i = 0; i < grey.size(); ++i) {
        int band = grey[i] / 64;
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

}  // namespace
