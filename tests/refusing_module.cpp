// Built into a copy of the library whose framework refuses its registration,
// to watch a refused attach turn into a failed load.
#include "framework_calls.h"

namespace {

FrameworkCalls refusingCalls;

__attribute__((constructor)) void UseARefusingFramework()
{
    refusingCalls = *frameworkCalls;
    refusingCalls.initialiseExtensionModule = [](FrameworkExtensionModule*, void*) {
        return false;
    };
    ShellReplaceFrameworkCalls(&refusingCalls);
}

}  // namespace
