// The write-fault seam of the test build, the same on every platform; the
// file layers say which error each fault stands for.
#include "fault_injection.h"

#ifdef ORVANEPAVONIZE_TEST_SEAMS

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#if !defined(_WIN32)
#include <cstdio>
#include <fcntl.h>
#endif

namespace {

// How many more times each point is reached before it fails; 0: never.
constinit std::atomic<int> faultCountdown[static_cast<int>(FaultPoint::Count)] = {};
// Points where the process is killed instead of failing the step.
constinit std::atomic<bool> killAtFault[static_cast<int>(FaultPoint::Count)] = {};
// The file each plant point moves into place; nullptr: none.
constinit std::atomic<const char*> plantedAt[static_cast<int>(PlantPoint::Count)] = {};

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

void PlatformInjectPlant(PlantPoint point, const char* plantedPath)
{
    plantedAt[static_cast<int>(point)].store(plantedPath);
}

#if !defined(_WIN32)
void PlantInjected(PlantPoint point, int folder, const char* name)
{
    const char* planted = plantedAt[static_cast<int>(point)].exchange(nullptr);
    if (planted != nullptr) {
        // The step after it sees errno as it was.
        int error = errno;
        if (renameat(AT_FDCWD, planted, folder, name) != 0) {
            std::perror("planting a file");
        }
        errno = error;
    }
}
#endif

#endif
