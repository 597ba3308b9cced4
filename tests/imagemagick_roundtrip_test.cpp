// Round trips through an independent reader and writer. ImageMagick makes an
// 8-bit BMP the way it does by default (V5 header, palette of only the
// greys in use), pavonize recolours it, and ImageMagick's view of the result
// must show each pixel in the palette colour of its grey band. And the
// conversion pavonize prints for another format must keep each pixel's band.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "support/bmp_builder.h"
#include "support/expected_band.h"
#include "support/imagemagick.h"
#include "support/process.h"

namespace {

TEST(ImageMagickRoundTrip, ImageMagicksViewShowsTheFourBandColours)
{
    SKIP_WITHOUT_IMAGEMAGICK();
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

// A PAM (a format still not read) of every grey from 0 to 255 goes through
// the command pavonize prints for it, run as printed, and ImageMagick reads
// the BMP it makes back: no pixel may have left its band. Making the palette must not dither,
// which moves greys across the bands' edges even in an image of 256 greys.
TEST(ImageMagickRoundTrip, PrintedConversionKeepsEveryPixelsBand)
{
    SKIP_WITHOUT_IMAGEMAGICK();
    ScratchDirectory scratch;
    // Each row holds all 256 greys: in order in even rows, as in a smooth
    // image, and shuffled in odd ones, as in a textured one.
    constexpr int kSide = 256;
    Bytes greys;
    std::mt19937 random(1);
    for (int y = 0; y < kSide / 4; ++y) {
        Bytes row(kSide);
        std::iota(row.begin(), row.end(), 0);
        if (y % 2 == 1) {
            std::shuffle(row.begin(), row.end(), random);
        }
        greys.insert(greys.end(), row.begin(), row.end());
    }
    std::string raw = scratch.Path("greys.gray");
    std::string pam = scratch.Path("photo.pam");
    WriteFileBytes(raw, greys);
    std::string size = std::to_string(kSide) + "x" + std::to_string(kSide / 4);
    ASSERT_EQ(RunProcess({kConvert, "-size", size, "-depth", "8", "gray:" + raw, "PAM:" + pam})
                  .exitStatus,
              0);

    ProcessResult refused = RunBuiltProgram({PAVONIZE_EXE, pam, scratch.Path("out.bmp")});
    ASSERT_EQ(refused.exitStatus, 1);
    size_t start = refused.err.find("\n  convert ");
    ASSERT_NE(start, std::string::npos) << refused.err;
    start += 3;
    std::string command = refused.err.substr(start, refused.err.find('\n', start) - start);
    // The shell reads the quoted names; the real ImageMagick does the work.
    command.replace(0, std::string_view("convert").size(), kConvert);
    ProcessResult conversion = RunProcess({"/bin/sh", "-c", command});
    ASSERT_EQ(conversion.exitStatus, 0) << command << "\n" << conversion.err;

    std::string bmp = scratch.Path("photo-grey.bmp");
    EXPECT_EQ(Le16At(ReadFileBytes(bmp), 14 + 14), 8u) << "bits per pixel";
    std::string back = scratch.Path("back.gray");
    ASSERT_EQ(RunProcess({kConvert, "BMP:" + bmp, "-depth", "8", "gray:" + back}).exitStatus, 0);
    Bytes kept = ReadFileBytes(back);
    ASSERT_EQ(kept.size(), greys.size());
    size_t moved = 0;
    for (size_t i = 0; i < greys.size(); ++i) {
        moved += ExpectedBand(kept[i]) != ExpectedBand(greys[i]) ? 1 : 0;
    }
    EXPECT_EQ(moved, 0u) << "pixels in another band after " << command;
}

}  // namespace
