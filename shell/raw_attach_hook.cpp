#include "framework_calls.h"
#include "loader.h"
#include "shell.h"

bool RawAttachHook(void*, uint32_t reason, void*)
{
    if (reason == kReasonProcessAttach) {
        // The host's registrations step aside while the module's static
        // initialisers run; the registration then puts them back.
        FrameworkModuleState* state = frameworkCalls->currentModuleState();
        state->classInitialisation = state->registeredClassHead;
        state->registeredClassHead = nullptr;
        state->factoryInitialisation = state->registeredFactoryHead;
        state->registeredFactoryHead = nullptr;
    }
    return true;
}
