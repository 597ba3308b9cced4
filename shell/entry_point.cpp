#include "framework_calls.h"
#include "loader.h"
#include "shell.h"

bool LibraryEntryPoint(void* instance, uint32_t reason, void* reserved)
{
    if (reason == kReasonProcessAttach) {
        if (!RawAttachHook(instance, reason, reserved)) {
            return false;
        }
        // Static initialisation would run here; the module has none.
        return LibraryMain(instance, reason, reserved);
    }
    if (reason == kReasonProcessDetach) {
        bool result = LibraryMain(instance, reason, reserved);
        RunStaticShutdown();
        if (!RawAttachHook(instance, reason, reserved)) {
            result = false;
        }
        return result;
    }
    // Thread attach and detach: nothing is set up or torn down.
    return LibraryMain(instance, reason, reserved);
}
