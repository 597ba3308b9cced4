#include "framework.h"
#include "framework_internal.h"

namespace {

FrameworkModuleState currentModuleState{};
// Registered extension modules, most recent first.
FrameworkExtensionModule* registeredModules = nullptr;

}  // namespace

FrameworkModuleState* FrameworkCurrentModuleState()
{
    return &currentModuleState;
}

bool FrameworkIsRegistered(const FrameworkExtensionModule* module)
{
    for (FrameworkExtensionModule* entry = registeredModules; entry;
         entry = entry->nextRegistered) {
        if (entry == module) {
            return true;
        }
    }
    return false;
}

int FrameworkRegisteredModuleCount()
{
    int count = 0;
    for (FrameworkExtensionModule* entry = registeredModules; entry;
         entry = entry->nextRegistered) {
        ++count;
    }
    return count;
}

bool FrameworkInitialiseExtensionModule(FrameworkExtensionModule* module, void* instance)
{
    if (module == nullptr || instance == nullptr || module->initialised ||
        FrameworkIsRegistered(module)) {
        return false;
    }
    // Whatever the library's static initialisers added since the attach hook
    // parked the host's heads is the library's own.
    FrameworkModuleState* state = &currentModuleState;
    module->classes = state->registeredClassHead;
    module->factories = state->registeredFactoryHead;
    state->registeredClassHead = state->classInitialisation;
    state->registeredFactoryHead = state->factoryInitialisation;
    state->classInitialisation = nullptr;
    state->factoryInitialisation = nullptr;

    module->instance = instance;
    module->initialised = true;
    module->nextRegistered = registeredModules;
    registeredModules = module;
    return true;
}

void FrameworkTerminateExtensionModule(FrameworkExtensionModule* module, bool all)
{
    if (module == nullptr || !module->initialised) {
        return;
    }
    FrameworkDropDynamicLibraries(all ? nullptr : module);
    for (FrameworkExtensionModule** link = &registeredModules; *link;
         link = &(*link)->nextRegistered) {
        if (*link == module) {
            *link = module->nextRegistered;
            break;
        }
    }
    // Back to the zero state the library started with, so it can attach again.
    *module = FrameworkExtensionModule{};
}
