// The write-fault seam of the test build, the same on every platform; the
// file layers say which error each fault stands for.
#include "fault_injection.h"

#ifdef ORVANEPAVONIZE_TEST_SEAMS

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace {

// How many more times each point is reached before it fails; 0: never.
constinit std::atomic<int> faultCountdown[static_cast<int>(FaultPoint::Count)] = {};
// Points where the process is killed instead of failing the step.
constinit std::atomic<bool> killAtFault[static_cast<int>(FaultPoint::Count)] = {};

}  // namespace

bool FaultInjected(FaultPoint point)
{
    std::atomic<int>& countdown = faultCountdown[static_cast<int>(point)];
    bool fires = countdown.load() > 0 && countdown.fetch_sub(1) == 1;
    if (fires && killAtFault[static_cast<int>(point)].load()) {
#if defined(SIGKILL)
        std::raise(SIGKILL);
#endif
        std::abort();
    }
    return fires;
}

void PlatformInjectFault(FaultPoint point, int occurrence, bool kill)
{
    faultCountdown[static_cast<int>(point)].store(occurrence > 0 ? occurrence : 0);
    killAtFault[static_cast<int>(point)].store(kill);
}

#endif
