#include "platform.h"

#include <atomic>

namespace {

// The minimal-standard generator: x' = 48271 x mod (2^31 - 1), starting from
// x = 1. Its sequence is fixed by its definition (it is std::minstd_rand's),
// so every compiler and platform draws the same colours. The C library's
// rand() would not do: the host shares it and may seed it. One integer of
// state, constant-initialised, so nothing runs when the library is loaded.
constexpr uint64_t kMultiplier = 48271;
constexpr uint64_t kModulus = 2147483647;
constinit uint32_t generatorState = 1;

#ifdef ORVANEPAVONIZE_TEST_SEAMS
constinit std::atomic<RandomSource> replacementSource{nullptr};
#endif

}  // namespace

int32_t PlatformRandom()
{
#ifdef ORVANEPAVONIZE_TEST_SEAMS
    if (RandomSource source = replacementSource.load()) {
        return source();
    }
#endif
    // The state stays within 1 .. 2^31 - 2, which always fits.
    generatorState = static_cast<uint32_t>(generatorState * kMultiplier % kModulus);
    return static_cast<int32_t>(generatorState);
}

#ifdef ORVANEPAVONIZE_TEST_SEAMS
RandomSource PlatformReplaceRandomSource(RandomSource source)
{
    return replacementSource.exchange(source);
}
#endif
