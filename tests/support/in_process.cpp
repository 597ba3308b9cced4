#include "in_process.h"

#include "image_state.h"
#include "platform.h"

namespace {
[[noreturn]] void ThrowProcessEnded(int status)
{
    throw ProcessEnded{status};
}

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
    PlatformReplaceEndProcess(&ThrowProcessEnded);
}

void InProcessTest::TearDown()
{
    PlatformReplaceEndProcess(nullptr);
    PlatformReplaceRandomSource(nullptr);
    ReleaseImage();
}
