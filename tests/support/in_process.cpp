#include "in_process.h"

#include "expected_messages.h"
#include "image_state.h"
#include "paths.h"
#include "platform.h"
#include "recolour_bitmap.h"

namespace {
int32_t countingNext = 0;
int32_t CountingRandom()
{
    countingNext += 10;
    return countingNext;
}
}  // namespace

CallOutcome RunIntercepted(const std::function<void()>& call)
{
    CallOutcome outcome;
    testing::internal::CaptureStdout();
    try {
        call();
    } catch (const ProcessEnded& ended) {
        outcome.ended = true;
        outcome.status = ended.status;
    }
    outcome.out = testing::internal::GetCapturedStdout();
    return outcome;
}

void UseCountingRandomSource()
{
    countingNext = 0;
    PlatformReplaceRandomSource(&CountingRandom);
}

void InProcessTest::SetUp()
{
    PlatformInterceptEndProcess(true);
}

void InProcessTest::TearDown()
{
    PlatformInterceptEndProcess(false);
    PlatformReplaceRandomSource(nullptr);
    ReleaseImage();
}

Bytes RecolourFileTest::Recolour(const Bytes& input)
{
    WriteFileBytes(in_, input);
    int32_t result = 0;
    CallOutcome outcome =
        RunIntercepted([&] { result = RecolourBitmap(Utf16(in_).c_str(), Utf16(out_).c_str()); });
    EXPECT_FALSE(outcome.ended) << outcome.out;
    EXPECT_EQ(outcome.out, expected_messages::kSuccess);
    EXPECT_EQ(result, PAVONIZE_DONE);
    return ReadFileBytes(out_);
}
