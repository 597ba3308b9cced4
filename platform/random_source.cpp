#include "platform.h"

#include <atomic>
#include <random>

namespace {
// A default-constructed minimal-standard engine: its sequence is fixed by the
// C++ standard, so every compiler and platform draws the same colours. The C
// library's rand() would not do: the host shares it and may seed it.
std::minstd_rand generator;
std::atomic<RandomSource> replacementSource{nullptr};
}  // namespace

int32_t PlatformRandom()
{
    if (RandomSource source = replacementSource.load()) {
        return source();
    }
    // minstd_rand yields 1 .. 2^31 - 2, which always fits.
    return static_cast<int32_t>(generator());
}

RandomSource PlatformReplaceRandomSource(RandomSource source)
{
    return replacementSource.exchange(source);
}
