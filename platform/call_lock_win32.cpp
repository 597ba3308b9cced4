#include <windows.h>

#include "platform.h"

namespace {
// A slim reader/writer lock is a pointer-sized constant that needs neither
// initialising at load nor deleting at exit, unlike a critical section.
constinit SRWLOCK callLock = SRWLOCK_INIT;
}  // namespace

void PlatformLockCall()
{
    AcquireSRWLockExclusive(&callLock);
}

void PlatformUnlockCall()
{
    ReleaseSRWLockExclusive(&callLock);
}
