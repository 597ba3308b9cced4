#include "platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {
std::atomic<EndProcessHook> endProcessHook{nullptr};
}

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
    if (EndProcessHook hook = endProcessHook.load()) {
        hook(status);
    }
    std::exit(status);
}

EndProcessHook PlatformReplaceEndProcess(EndProcessHook hook)
{
    return endProcessHook.exchange(hook);
}
