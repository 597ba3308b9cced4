// The command line under valgrind's memory checker: valid variants and
// truncated or damaged files must run with no invalid read or write, no use
// of uninitialised bytes and no leak. Skipped, visibly, without valgrind.
#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

#include "program_launcher.h"
#include "support/bmp_variants.h"
#include "support/malformed_corpus.h"
#include "support/process.h"

namespace {

constexpr char kValgrind[] = "/usr/bin/valgrind";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kBuiltWithAddressSanitizer = true;
#else
constexpr bool kBuiltWithAddressSanitizer = false;
#endif

// Exit status valgrind gives when it found an error; pavonize itself only
// ever ends with 0, 1 or 2.
constexpr int kErrorStatus = 99;

ProcessResult RunUnderMemcheck(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{kValgrind,
                                  "--quiet",
                                  "--error-exitcode=99",
                                  "--leak-check=full",
                                  "--errors-for-leak-kinds=definite,indirect,possible",
                                  "--track-origins=yes",
                                  PAVONIZE_EXE};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProcess(argv);
}

// valgrind checks programs of the build host's own machine only; a cross
// build's programs run under an emulator.
#define SKIP_WITHOUT_VALGRIND()                                                 \
    if (access(kValgrind, X_OK) != 0) {                                         \
        GTEST_SKIP() << "valgrind is not installed (apt-get install valgrind)"; \
    }                                                                           \
    if (!kProgramLauncher.empty()) {                                            \
        GTEST_SKIP() << "valgrind cannot run a cross build's programs";         \
    }                                                                           \
    if (kBuiltWithAddressSanitizer) {                                           \
        GTEST_SKIP() << "valgrind cannot run a program built with ASan";        \
    }

TEST(Memcheck, ValidVariantsInOneProcess)
{
    SKIP_WITHOUT_VALGRIND();
    ScratchDirectory scratch;
    BmpLayout v5{.width = 6,
                 .height = 2,
                 .infoSize = 124,
                 .compression = 1,
                 .coloursUsed = 20,
                 .palette = GreyRampPalette(20),
                 .rows = Rle8Stream(
                     {Rle8Run(2, 3), Rle8Delta(1, 1), Rle8Literal({1, 2, 19}), Rle8EndOfBitmap()})};
    BmpLayout topDown{.width = 5,
                      .height = -3,
                      .palette = GreyRampPalette(),
                      .rows = MakeRows(5, 3, [](int x, int y) { return 40 * x + y; })};
    BmpLayout writerFault{.width = 3,
                          .height = 1,
                          .palette = GreyRampPalette(),
                          .rows = {9, 99, 199, 0},
                          .pixelOffset = 54};
    CoreBmpLayout core{.width = 7,
                       .height = 2,
                       .palette = GreyRampPalette3(),
                       .rows = MakeRows(7, 2, [](int x, int) { return 30 * x; })};
    const std::vector<Bytes> inputs = {
        BuildRle8Bmp(5, 3,
                     Rle8Stream({Rle8Run(5, 200), Rle8EndOfLine(), Rle8Literal({1, 2, 3}),
                                 Rle8EndOfBitmap()})),
        BuildRle8Bmp(0, 4, Rle8Stream({Rle8EndOfBitmap()})),
        BuildBmp(v5),
        BuildBmp(topDown),
        BuildBmp(writerFault),
        BuildCoreBmp(core)};
    std::vector<std::string> arguments{"--pairs"};
    for (size_t i = 0; i < inputs.size(); ++i) {
        std::string in = scratch.Path("in" + std::to_string(i) + ".bmp");
        WriteFileBytes(in, inputs[i]);
        arguments.push_back(in);
        arguments.push_back(scratch.Path("out" + std::to_string(i) + ".bmp"));
    }
    ProcessResult result = RunUnderMemcheck(arguments);
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
}

// A dozen files that stop the loader at each of its stages: headers,
// palette, rows, and each way RLE8 data goes wrong.
std::vector<MalformedFile> MemcheckSelection()
{
    const char* names[] = {"truncated-in-info-header",
                           "truncated-in-palette",
                           "truncated-in-rows",
                           "truncated-in-core-palette",
                           "overflow-65536-squared",
                           "palette-FFFFFFFF",
                           "offset-near-4GiB",
                           "rle8-row-overrun-literal",
                           "rle8-image-overrun-delta-down",
                           "rle8-ends-early-literal-cut",
                           "rle8-ends-early-odd-byte",
                           "rle8-too-short-10000-squared"};
    std::vector<MalformedFile> corpus = MalformedCorpus();
    std::vector<MalformedFile> selection;
    for (const char* name : names) {
        auto found = std::find_if(corpus.begin(), corpus.end(),
                                  [&](const MalformedFile& file) { return file.name == name; });
        if (found == corpus.end()) {
            throw std::logic_error(std::string("no corpus file ") + name);
        }
        selection.push_back(*found);
    }
    return selection;
}

class MemcheckRefusalTest : public ::testing::TestWithParam<MalformedFile> {};

TEST_P(MemcheckRefusalTest, RefusedWithoutMemoryErrors)
{
    SKIP_WITHOUT_VALGRIND();
    ScratchDirectory scratch;
    std::string in = scratch.Path("in.bmp");
    WriteFileBytes(in, GetParam().bytes);
    ProcessResult result = RunUnderMemcheck({in, scratch.Path("out.bmp")});
    EXPECT_NE(result.exitStatus, kErrorStatus) << result.err;
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, GetParam().message);
    EXPECT_EQ(result.err.rfind("pavonize: " + in + ": " + GetParam().message, 0), 0u) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Selection, MemcheckRefusalTest, ::testing::ValuesIn(MemcheckSelection()),
                         [](const auto& info) { return CorpusTestName(info.param); });

}  // namespace
