#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform.h"

#ifdef ORVANEPAVONIZE_TEST_SEAMS
namespace {
constinit std::atomic<bool> endIntercepted{false};
}
#endif

void PlatformStaticShutdown()
{
    // The module registers no exit handlers and has no static objects that
    // need tearing down; what remains of the runtime's shut-down is getting
    // buffered output out before anything ends.
    std::fflush(stdout);
}

void PlatformEndProcess(int status)
{
    PlatformStaticShutdown();
#ifdef ORVANEPAVONIZE_TEST_SEAMS
    if (endIntercepted.load()) {
        throw ProcessEnded{status};
    }
#endif
    std::exit(status);
}

#ifdef ORVANEPAVONIZE_TEST_SEAMS
bool PlatformInterceptEndProcess(bool intercept)
{
    return endIntercepted.exchange(intercept);
}
#endif
