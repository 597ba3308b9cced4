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

    ExpectEachPixelInTheBandOfItsGrey(in, out, 37 * 70, scratch);
}

}  // namespace
