// The same on every platform: a wide path is 16-bit units up to a 0.
#include "platform.h"

size_t PlatformWideLength(const char16_t* wide)
{
    size_t units = 0;
    while (wide[units] != 0) {
        ++units;
    }
    return units;
}
