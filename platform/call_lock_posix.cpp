#include <pthread.h>

#include "platform.h"

namespace {
// PTHREAD_MUTEX_INITIALIZER makes a constant: no constructor runs at load and
// no destructor is registered for exit.
constinit pthread_mutex_t callLock = PTHREAD_MUTEX_INITIALIZER;
}  // namespace

void PlatformLockCall()
{
    pthread_mutex_lock(&callLock);
}

void PlatformUnlockCall()
{
    pthread_mutex_unlock(&callLock);
}
