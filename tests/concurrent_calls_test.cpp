// Two threads of one host recolouring at the same time, with Pavonize or
// with PavonizeFile: both images come out right and the two calls take
// consecutive draws of the generator, as two calls one after the other
// would. The tsan preset runs this with the library and the host under
// ThreadSanitizer, which must stay silent.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/bmp_builder.h"
#include "support/expected_band.h"
#include "support/expected_messages.h"
#include "support/process.h"

namespace {

constexpr size_t kPixelOffset = 1078;

// How the host calls: its option, and what the calls print.
struct Entry {
    const char* name;
    const char* option;
    std::string printed;
};

const Entry kEntries[] = {
    {"Pavonize", nullptr, expected_messages::kSuccess + expected_messages::kSuccess},
    {"PavonizeFile", "--status", ""},
};

void PrintTo(const Entry& entry, std::ostream* out)
{
    *out << entry.name;
}

class ConcurrentCallsTest : public ::testing::TestWithParam<Entry> {};

TEST_P(ConcurrentCallsTest, TwoThreadsAtOnceGetCorrectImagesAndConsecutiveDraws)
{
    ScratchDirectory scratch;
    // Different sizes, so that one call's image leaking into the other's
    // would show.
    Bytes rows[2] = {MakeRows(9, 4, [](int x, int y) { return 31 * x + 7 * y; }),
                     MakeRows(6, 7, [](int x, int y) { return 255 - 13 * x - 29 * y; })};
    BmpLayout layouts[2] = {
        {.width = 9, .height = 4, .palette = GreyRampPalette(), .rows = rows[0]},
        {.width = 6, .height = 7, .palette = GreyRampPalette(), .rows = rows[1]}};
    std::string in[2] = {scratch.Path("in1.bmp"), scratch.Path("in2.bmp")};
    std::string out[2] = {scratch.Path("out1.bmp"), scratch.Path("out2.bmp")};
    std::string reference[2] = {scratch.Path("ref1.bmp"), scratch.Path("ref2.bmp")};
    for (int i = 0; i < 2; ++i) {
        WriteFileBytes(in[i], BuildBmp(layouts[i]));
    }

    // The same two pairs one after the other in a fresh process: the first
    // and second draws of the generator.
    ProcessResult sequential =
        RunBuiltProgram({PAVONIZE_EXE, "--pairs", in[0], reference[0], in[1], reference[1]});
    ASSERT_EQ(sequential.exitStatus, 0) << sequential.err;
    std::vector<Bytes> expectedDraws = {Slice(ReadFileBytes(reference[0]), 54, 16),
                                        Slice(ReadFileBytes(reference[1]), 54, 16)};
    ASSERT_NE(expectedDraws[0], expectedDraws[1]);

    std::vector<std::string> host = {TWO_THREADS_HOST, in[0], out[0], in[1], out[1]};
    if (GetParam().option != nullptr) {
        host.insert(host.begin() + 1, GetParam().option);
    }
    ProcessResult together = RunBuiltProgram(host);
    EXPECT_EQ(together.exitStatus, 0);
    EXPECT_EQ(together.err, "");  // where a sanitizer would report
    // Pavonize's calls take turns, so their messages never interleave.
    EXPECT_EQ(together.out, GetParam().printed);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    if (GetParam().option != nullptr) {
        Bytes child = ReadFileBytes(out[0] + ".child");
        ASSERT_EQ(child.size(), kPixelOffset + rows[0].size());
        EXPECT_EQ(Bytes(child.begin() + kPixelOffset, child.end()), ExpectedBands(rows[0]));
    }
#endif

    std::vector<Bytes> draws;
    for (int i = 0; i < 2; ++i) {
        Bytes file = ReadFileBytes(out[i]);
        ASSERT_EQ(file.size(), kPixelOffset + rows[i].size()) << i;
        EXPECT_EQ(Le32At(file, 18), static_cast<uint32_t>(layouts[i].width)) << i;
        EXPECT_EQ(Bytes(file.begin() + kPixelOffset, file.end()), ExpectedBands(rows[i])) << i;
        draws.push_back(Slice(file, 54, 16));
    }
    // Which thread went first is up to the scheduler.
    std::sort(draws.begin(), draws.end());
    std::sort(expectedDraws.begin(), expectedDraws.end());
    EXPECT_EQ(draws, expectedDraws);
}

INSTANTIATE_TEST_SUITE_P(Entries, ConcurrentCallsTest, ::testing::ValuesIn(kEntries),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
