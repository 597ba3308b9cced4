// The BMP variants ImageMagick writes for palette images: RLE8 with the
// 40-byte header (BMP3:) and with its longer default header (BMP:), and the
// OS/2 core header (BMP2:). pavonize must read each one pixel for pixel as
// ImageMagick itself does. Also checks the documented conversion of images
// of other depths.
#include <gtest/gtest.h>

#include <unistd.h>

#include "support/bmp_builder.h"
#include "support/expected_messages.h"
#include "support/imagemagick.h"
#include "support/process.h"

namespace {

struct Variant {
    const char* format;  // ImageMagick's output format prefix
    uint32_t infoSize;
    uint32_t compression;  // not stored in the 12-byte header
};

void PrintTo(const Variant& variant, std::ostream* out)
{
    *out << variant.format;
}

class ImageMagickVariantTest : public ::testing::TestWithParam<Variant> {};

TEST_P(ImageMagickVariantTest, EveryPixelLandsInTheBandOfImageMagicksGrey)
{
    SKIP_WITHOUT_IMAGEMAGICK();
    ScratchDirectory scratch;
    std::string in = scratch.Path("in.bmp");
    std::string out = scratch.Path("out.bmp");
    // A swirled gradient: runs of every length and rows that differ, in more
    // than 16 greys so that ImageMagick writes 8 bits rather than 4. 37 wide,
    // so rows carry padding.
    ProcessResult made =
        RunProcess({kConvert, "-size", "37x70", "gradient:white-black", "-swirl", "180", "-type",
                    "Palette", "-depth", "8", std::string(GetParam().format) + ":" + in});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    Bytes input = ReadFileBytes(in);
    ASSERT_EQ(Le32At(input, 14), GetParam().infoSize);
    if (GetParam().infoSize == 12) {
        ASSERT_EQ(Le16At(input, 14 + 10), 8u);
    } else {
        ASSERT_EQ(Le16At(input, 14 + 14), 8u);
        ASSERT_EQ(Le32At(input, 14 + 16), GetParam().compression);
    }

    ProcessResult recoloured = RunBuiltProgram({PAVONIZE_EXE, in, out});
    ASSERT_EQ(recoloured.exitStatus, 0) << recoloured.out;

    EXPECT_EQ(Le32At(ReadFileBytes(out), 14 + 16), 0u) << "written uncompressed";
    ExpectEachPixelInTheBandOfItsGrey(in, out, 37 * 70, scratch);
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageMagickVariantTest,
                         ::testing::Values(Variant{"BMP3", 40, 1}, Variant{"BMP", 124, 1},
                                           Variant{"BMP2", 12, 0}),
                         [](const auto& info) { return std::string(info.param.format); });

TEST(ImageMagickConversion, DocumentedCommandTurnsOtherDepthsIntoAcceptedFiles)
{
    SKIP_WITHOUT_IMAGEMAGICK();
    ScratchDirectory scratch;
    struct Source {
        std::vector<std::string> make;
        std::string refusal;
    };
    // 24 bits; and 8 greys, which ImageMagick stores in 4 bits.
    const Source sources[] = {
        {{"-size", "30x20", "gradient:red-blue", "-type", "TrueColor"},
         expected_messages::DepthRefusal(24)},
        {{"-size", "30x20", "gradient:white-black", "-colors", "8", "-type", "Palette"},
         expected_messages::DepthRefusal(4)},
    };
    std::string original = scratch.Path("original.bmp");
    std::string converted = scratch.Path("converted.bmp");
    std::string out = scratch.Path("out.bmp");
    for (const Source& source : sources) {
        std::vector<std::string> make{kConvert};
        make.insert(make.end(), source.make.begin(), source.make.end());
        make.push_back("BMP3:" + original);
        ASSERT_EQ(RunProcess(make).exitStatus, 0);
        ProcessResult refused = RunBuiltProgram({PAVONIZE_EXE, original, out});
        EXPECT_EQ(refused.exitStatus, 1);
        EXPECT_EQ(refused.out, source.refusal);

        // The command the documentation gives.
        ProcessResult conversion =
            RunProcess({kConvert, original, "-colorspace", "Gray", "+dither", "-type", "Palette",
                        "-compress", "RLE", "BMP3:" + converted});
        ASSERT_EQ(conversion.exitStatus, 0) << conversion.err;
        EXPECT_EQ(Le16At(ReadFileBytes(converted), 14 + 14), 8u);
        ProcessResult accepted = RunBuiltProgram({PAVONIZE_EXE, converted, out});
        EXPECT_EQ(accepted.exitStatus, 0) << accepted.out;
        EXPECT_EQ(accepted.out, expected_messages::kSuccess);
    }
}

}  // namespace
