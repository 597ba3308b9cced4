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

StaticShutdownRoutine staticShutdown = PlatformStaticShutdown;

}  // namespace

const FrameworkCalls* frameworkCalls = &kFrameworkOwnCalls;

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
