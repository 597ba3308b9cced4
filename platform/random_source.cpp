#include "platform.h"

#include <atomic>

namespace {

// The minimal-standard generator: x' = 48271 x mod (2^31 - 1), starting from
// x = 1. Its sequence is fixed by its definition (it is std::minstd_rand's),
// so every compiler and platform draws the same colours. The C library's
// rand() would not do: the host shares it and may seed it. One integer of
// state, constant-initialised, so nothing runs when the library is loaded;
// atomic, so that calls on several threads each take a run of their own
// without a lock.
constexpr uint64_t kMultiplier = 48271;
constexpr uint64_t kModulus = 2147483647;
constinit std::atomic<uint32_t> generatorState{1};

uint32_t NextState(uint32_t state)
{
    // The state stays within 1 .. 2^31 - 2, which always fits.
    return static_cast<uint32_t>(state * kMultiplier % kModulus);
}

#ifdef ORVANEPAVONIZE_TEST_SEAMS
constinit std::atomic<RandomSource> replacementSource{nullptr};
#endif

}  // namespace

void PlatformRandomRun(int32_t* values, int32_t count)
{
#ifdef ORVANEPAVONIZE_TEST_SEAMS
    if (RandomSource source = replacementSource.load()) {
        for (int32_t i = 0; i < count; ++i) {
            values[i] = source();
        }
        return;
    }
#endif
    // The whole run is computed from one state and stored only if no other
    // run took that state meanwhile; otherwise it is computed again.
    uint32_t state = generatorState.load(std::memory_order_relaxed);
    uint32_t next = 0;
    do {
        next = state;
        for (int32_t i = 0; i < count; ++i) {
            next = NextState(next);
            values[i] = static_cast<int32_t>(next);
        }
    } while (!generatorState.compare_exchange_weak(state, next, std::memory_order_relaxed));
}

#ifdef ORVANEPAVONIZE_TEST_SEAMS
RandomSource PlatformReplaceRandomSource(RandomSource source)
{
    return replacementSource.exchange(source);
}
#endif
