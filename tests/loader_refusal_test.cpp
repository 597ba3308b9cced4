// Input the loader must refuse before it allocates or opens any output:
// each case ends the call with status 1 and its own message, and leaves the
// output path untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

#include "recolour_bitmap.h"
#include "support/bmp_builder.h"
#include "support/in_process.h"
#include "support/malformed_corpus.h"
#include "support/paths.h"
#include "support/process.h"

namespace {

struct RefusalCase {
    const char* name;
    std::function<Bytes()> makeInput;
    const char* message;
};

BmpLayout ValidLayout()
{
    return BmpLayout{.width = 3,
                     .height = 2,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(3, 2, [](int x, int) { return 80 * x; })};
}

Bytes WithLayout(const std::function<void(BmpLayout&)>& change)
{
    BmpLayout layout = ValidLayout();
    change(layout);
    return BuildBmp(layout);
}

Bytes Patched32(size_t offset, uint32_t value)
{
    Bytes file = BuildBmp(ValidLayout());
    PutLe32(file, offset, value);
    return file;
}

Bytes Truncated(size_t keep)
{
    Bytes file = BuildBmp(ValidLayout());
    file.resize(keep);
    return file;
}

const char kTruncated[] = "BMP file is truncated\n";
const char kTooLarge[] = "BMP image is too large\n";
const char kBadOffset[] = "BMP pixel data offset is invalid\n";

const RefusalCase kCases[] = {
    {"EmptyFile", [] { return Bytes{}; }, "not a BMP file: no BM signature\n"},
    {"NoSignature",
     [] {
         Bytes f = BuildBmp(ValidLayout());
         f[0] = 'P';
         return f;
     },
     "not a BMP file: no BM signature\n"},
    {"EndsInFileHeader", [] { return Truncated(10); }, kTruncated},
    {"EndsInInfoHeader", [] { return Truncated(40); }, kTruncated},
    {"EndsInPalette", [] { return Truncated(600); }, kTruncated},
    {"EndsInRows", [] { return Truncated(1078 + 7); }, kTruncated},
    {"InfoHeaderTooSmall", [] { return Patched32(14, 39); },
     "BMP information header is too small\n"},
    {"TwentyFourBit", [] { return WithLayout([](BmpLayout& s) { s.bitCount = 24; }); },
     "24-bit images are not supported: only 8-bit images are recoloured\n"},
    {"FourBit", [] { return WithLayout([](BmpLayout& s) { s.bitCount = 4; }); },
     "4-bit images are not supported: only 8-bit images are recoloured\n"},
    {"Rle4", [] { return WithLayout([](BmpLayout& s) { s.compression = 2; }); },
     "BMP compression 2 is not supported: only uncompressed and RLE8 images are read\n"},
    {"TopDownRle8",
     [] {
         return WithLayout([](BmpLayout& s) {
             s.compression = 1;
             s.height = -2;
         });
     },
     "BMP RLE8 images cannot be stored top-down\n"},
    {"TwoPlanes", [] { return WithLayout([](BmpLayout& s) { s.planes = 2; }); },
     "BMP planes field is 2, not 1\n"},
    {"NegativeWidth", [] { return WithLayout([](BmpLayout& s) { s.width = -3; }); },
     "BMP width is negative\n"},
    {"WidthInt32Max", [] { return WithLayout([](BmpLayout& s) { s.width = INT32_MAX; }); },
     kTooLarge},
    {"HeightInt32Min", [] { return WithLayout([](BmpLayout& s) { s.height = INT32_MIN; }); },
     kTooLarge},
    {"HeightInt32Max", [] { return WithLayout([](BmpLayout& s) { s.height = INT32_MAX; }); },
     kTooLarge},
    // 65536 x 65536 wraps to 0 in 32-bit arithmetic.
    {"ProductWrapsInt32",
     [] { return WithLayout([](BmpLayout& s) { s.width = s.height = 65536; }); }, kTooLarge},
    {"HugeTopDown", [] { return WithLayout([](BmpLayout& s) { s.height = -600000000; }); },
     kTooLarge},
    {"PaletteOver256", [] { return WithLayout([](BmpLayout& s) { s.coloursUsed = 257; }); },
     "BMP palette has more than 256 entries\n"},
    {"OffsetInsideHeaders", [] { return Patched32(10, 20); }, kBadOffset},
    {"OffsetPastEnd", [] { return Patched32(10, 5000); }, kTruncated},
    {"OffsetNear4GiB", [] { return Patched32(10, 0xFFFFFFF0u); }, kBadOffset},
    {"RowsPastEnd", [] { return Patched32(22, 3); }, kTruncated},
};

void PrintTo(const RefusalCase& refusal, std::ostream* out)
{
    *out << refusal.name;
}

void ExpectRefused(const Bytes& input, const std::string& message)
{
    ScratchDirectory scratch;
    std::string in = scratch.Path("in.bmp");
    std::string out = scratch.Path("out.bmp");
    WriteFileBytes(in, input);
    WriteFileBytes(out, {'k', 'e', 'e', 'p'});
    CallOutcome outcome =
        RunIntercepted([&] { RecolourBitmap(Utf16(in).c_str(), Utf16(out).c_str()); });
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, message);
    EXPECT_EQ(ReadFileBytes(out), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(scratch.List(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

class LoaderRefusalTest : public InProcessTest,
                          public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(LoaderRefusalTest, EndsWithMessageAndLeavesOutputAlone)
{
    ExpectRefused(GetParam().makeInput(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Malformed, LoaderRefusalTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The whole malformed corpus, in process, where the decoder's and the
// header checks' faults are quickest to find.
class CorpusRefusalTest : public InProcessTest,
                          public ::testing::WithParamInterface<MalformedFile> {};

TEST_P(CorpusRefusalTest, EndsWithMessageAndLeavesOutputAlone)
{
    ExpectRefused(GetParam().bytes, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusRefusalTest, ::testing::ValuesIn(MalformedCorpus()),
                         [](const auto& info) { return CorpusTestName(info.param); });

TEST_F(InProcessTest, DirectoriesAndFifosAreRefusedAsInput)
{
    ScratchDirectory scratch;
    std::string fifo = scratch.Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string out = scratch.Path("out.bmp");
    CallOutcome directory =
        RunIntercepted([&] { RecolourBitmap(Utf16(scratch.path()).c_str(), Utf16(out).c_str()); });
    EXPECT_EQ(directory.out, "input is a directory, not a BMP file\n");
    // A FIFO with no writer must not hang the call.
    CallOutcome pipe =
        RunIntercepted([&] { RecolourBitmap(Utf16(fifo).c_str(), Utf16(out).c_str()); });
    EXPECT_EQ(pipe.out, "input is not a regular file\n");
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
