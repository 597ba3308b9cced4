#include "framework_calls.h"

#include "platform.h"

namespace {

constexpr FrameworkCalls kFrameworkOwnCalls = {
    FrameworkCurrentModuleState,
    FrameworkInitialiseExtensionModule,
    FrameworkAllocate,
    FrameworkConstructDynamicLibrary,
    FrameworkTerminateExtensionModule,
    kFrameworkDynamicLibraryBytes,
};

#ifdef ORVANEPAVONIZE_TEST_SEAMS
constinit StaticShutdownRoutine staticShutdown = PlatformStaticShutdown;
#endif

}  // namespace

constinit const FrameworkCalls* frameworkCalls = &kFrameworkOwnCalls;

#ifdef ORVANEPAVONIZE_TEST_SEAMS
const FrameworkCalls* ShellReplaceFrameworkCalls(const FrameworkCalls* calls)
{
    const FrameworkCalls* previous = frameworkCalls;
    frameworkCalls = calls ? calls : &kFrameworkOwnCalls;
    return previous;
}

StaticShutdownRoutine ShellReplaceStaticShutdown(StaticShutdownRoutine routine)
{
    StaticShutdownRoutine previous = staticShutdown;
    staticShutdown = routine ? routine : PlatformStaticShutdown;
    return previous;
}

void RunStaticShutdown()
{
    staticShutdown();
}
#else
void RunStaticShutdown()
{
    PlatformStaticShutdown();
}
#endif
