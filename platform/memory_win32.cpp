// Windows: the C runtime's general allocator. The huge-page backing of the
// POSIX build needs a privilege (SeLockMemoryPrivilege) that a DLL cannot
// count on, so large buffers get ordinary pages here.
#include <cstdlib>

#include "platform.h"

void* PlatformAllocate(size_t byteCount)
{
    return std::malloc(byteCount);
}

void PlatformRelease(void* buffer)
{
    std::free(buffer);
}
