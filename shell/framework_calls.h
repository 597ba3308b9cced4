// Every framework operation the shell uses goes through this one table, so a
// test build can record the calls and make any of them fail.
#pragma once

#include <cstddef>

#include "framework.h"

struct FrameworkCalls {
    FrameworkModuleState* (*currentModuleState)();
    bool (*initialiseExtensionModule)(FrameworkExtensionModule* module, void* instance);
    void* (*allocate)(size_t byteCount);
    void (*constructDynamicLibrary)(void* storage, FrameworkExtensionModule* module, bool system);
    void (*terminateExtensionModule)(FrameworkExtensionModule* module, bool all);
    size_t dynamicLibraryBytes;
};

// The table in use: the framework's own unless a test replaced it.
extern const FrameworkCalls* frameworkCalls;

#ifdef ORVANEPAVONIZE_TEST_SEAMS
// Test seam: replaces the table; nullptr restores the framework's own.
// Returns the table that was in use.
const FrameworkCalls* ShellReplaceFrameworkCalls(const FrameworkCalls* calls);

// Test seam: replaces the static shut-down that detach runs; nullptr
// restores the runtime's own.
using StaticShutdownRoutine = void (*)();
StaticShutdownRoutine ShellReplaceStaticShutdown(StaticShutdownRoutine routine);
#endif

// The static shut-down detach runs.
void RunStaticShutdown();
