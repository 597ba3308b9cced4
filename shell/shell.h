// What makes the module an extension library of the host's framework: the
// entry point's attach and detach sequence and the two routines behind it.
#pragma once

#include <cstdint>

#include "framework.h"

// The module's registration record; the framework fills it at attach and
// reads it at detach.
extern FrameworkExtensionModule extensionModule;

// The entry point's sequence for `reason` (0 process detach, 1 process
// attach, 2 thread attach, 3 thread detach); false refuses an attach.
bool LibraryEntryPoint(void* instance, uint32_t reason, void* reserved);

// Process attach: parks the framework's class and factory list heads in
// their initialisation slots. Always true.
bool RawAttachHook(void* instance, uint32_t reason, void* reserved);

// Process attach: registers the module and adds its dynamic-library record;
// false when the framework refuses the module. Process detach: undoes the
// registration.
bool LibraryMain(void* instance, uint32_t reason, void* reserved);
