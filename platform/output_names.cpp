#include "output_names.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform.h"

namespace {

constinit std::atomic<uint64_t> temporaryCounter{0};

}  // namespace

char* CopyText(const char* text, size_t bytes)
{
    char* copy = static_cast<char*>(PlatformAllocate(bytes + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, bytes);
        copy[bytes] = 0;
    }
    return copy;
}

void TemporaryName(char (&name)[kTemporaryNameBytes], uint64_t entropy)
{
    uint64_t mix = entropy ^ (temporaryCounter.fetch_add(1) * 0x9E3779B97F4A7C15u);
    std::snprintf(name, sizeof name, ".pavonize-%012llx",
                  static_cast<unsigned long long>(mix & 0xFFFFFFFFFFFFu));
}
