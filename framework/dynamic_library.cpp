#include <cstdlib>
#include <new>

#include "framework.h"
#include "framework_internal.h"

namespace {

// The chain of libraries, most recently constructed first.
FrameworkDynamicLibrary* chainHead = nullptr;

}  // namespace

void* FrameworkAllocate(size_t byteCount)
{
    return std::malloc(byteCount);
}

void FrameworkConstructDynamicLibrary(void* storage, FrameworkExtensionModule* module, bool system)
{
    auto* record = new (storage) FrameworkDynamicLibrary{};
    record->module = module;
    record->instance = module->instance;
    record->system = system;
    record->next = chainHead;
    chainHead = record;
}

const FrameworkDynamicLibrary* FrameworkFirstDynamicLibrary()
{
    return chainHead;
}

void FrameworkDropDynamicLibraries(const FrameworkExtensionModule* module)
{
    FrameworkDynamicLibrary** link = &chainHead;
    while (*link) {
        FrameworkDynamicLibrary* record = *link;
        if (module == nullptr || record->module == module) {
            *link = record->next;
            record->~FrameworkDynamicLibrary();
            std::free(record);
        } else {
            link = &record->next;
        }
    }
}
