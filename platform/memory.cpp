#include "platform.h"

#include <cstdlib>

void* PlatformAllocate(size_t byteCount)
{
    return std::malloc(byteCount);
}

void PlatformRelease(void* buffer)
{
    std::free(buffer);
}
