// The malformed corpus in process, where the decoder's and the header
// checks' faults are quickest to find: each file ends the call with status 1
// and its own message, before any output is opened. The same corpus runs
// through the real command line (malformed_process_test.cpp) and under
// valgrind (memcheck_test.cpp).
#include <gtest/gtest.h>

#include "recolour_bitmap.h"
#include "support/bmp_builder.h"
#include "support/expected_messages.h"
#include "support/in_process.h"
#include "support/malformed_corpus.h"
#include "support/paths.h"
#include "support/process.h"

namespace {

class CorpusRefusalTest : public InProcessTest,
                          public ::testing::WithParamInterface<MalformedFile> {};

TEST_P(CorpusRefusalTest, EndsWithMessageAndLeavesOutputAlone)
{
    ScratchDirectory scratch;
    std::string in = scratch.Path("in.bmp");
    std::string out = scratch.Path("out.bmp");
    WriteFileBytes(in, GetParam().bytes);
    WriteFileBytes(out, {'k', 'e', 'e', 'p'});
    CallOutcome outcome =
        RunIntercepted([&] { RecolourBitmap(Utf16(in).c_str(), Utf16(out).c_str()); });
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, GetParam().message);
    EXPECT_EQ(ReadFileBytes(out), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(scratch.List(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusRefusalTest, ::testing::ValuesIn(MalformedCorpus()),
                         [](const auto& info) { return CorpusTestName(info.param); });

// The exported function's catch-all turns stray exceptions into an internal
// error; an intercepted end of the process must pass through it as it is.
TEST_F(InProcessTest, AnInterceptedEndPassesThroughTheExportedFunction)
{
    ScratchDirectory scratch;
    std::u16string missing = Utf16(scratch.Path("missing.bmp"));
    std::u16string out = Utf16(scratch.Path("out.bmp"));
    CallOutcome outcome = RunIntercepted([&] {
        Pavonize(reinterpret_cast<const PavonizePathChar*>(missing.c_str()),
                 reinterpret_cast<const PavonizePathChar*>(out.c_str()));
    });
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, expected_messages::kInputFailed);
}

}  // namespace
