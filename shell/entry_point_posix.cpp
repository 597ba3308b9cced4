// The loader finds the entry point by name; it and Pavonize are all the
// library exports.
#include "loader.h"
#include "shell.h"

extern "C" __attribute__((visibility("default"))) int ModuleEntryPoint(void* instance,
                                                                       uint32_t reason,
                                                                       void* reserved)
{
    return LibraryEntryPoint(instance, reason, reserved) ? 1 : 0;
}
