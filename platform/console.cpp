#include "platform.h"

#include <cstdio>
#include <cstring>

void PlatformPrint(const char* text)
{
    std::fwrite(text, 1, std::strlen(text), stdout);
    std::fflush(stdout);
}
