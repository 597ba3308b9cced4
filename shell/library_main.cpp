#include "framework_calls.h"
#include "loader.h"
#include "shell.h"

FrameworkExtensionModule extensionModule{};

bool LibraryMain(void* instance, uint32_t reason, void*)
{
    if (reason == kReasonProcessAttach) {
        if (!frameworkCalls->initialiseExtensionModule(&extensionModule, instance)) {
            return false;
        }
        // Without storage the module simply goes without its record.
        if (void* storage = frameworkCalls->allocate(frameworkCalls->dynamicLibraryBytes)) {
            frameworkCalls->constructDynamicLibrary(storage, &extensionModule, false);
        }
        return true;
    }
    if (reason == kReasonProcessDetach) {
        frameworkCalls->terminateExtensionModule(&extensionModule, false);
    }
    return true;
}
