// The colouring pass on its own: ApplyColourBands over a 64 MiB pixel
// buffer, on one core, reported in bytes per second. No file, no allocation
// inside the timed loop.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "band_colouring.h"
#include "image_state.h"

namespace {

constexpr int32_t kRowBytes = 16384;
constexpr int32_t kRows = 4096;  // 16384 x 4096 = 64 MiB

// The grey ramp of a greyscale image, or (inverted) any other palette:
// they take different paths through the pass.
enum PaletteKind { kGreyRamp, kInvertedRamp };

void ColourBands64MiB(benchmark::State& state)
{
    std::vector<PaletteEntry> palette(kPaletteEntries);
    imageState.palette = palette.data();
    bool inverted = state.range(0) == kInvertedRamp;
    for (int i = 0; i < kPaletteEntries; ++i) {
        imageState.indexGrey[i] = static_cast<uint8_t>(inverted ? 255 - i : i);
    }
    state.SetLabel(inverted ? "inverted palette" : "grey ramp");
    std::vector<uint8_t> pixels(static_cast<size_t>(kRowBytes) * kRows);
    uint32_t noise = 2463534242u;
    for (uint8_t& pixel : pixels) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        pixel = static_cast<uint8_t>(noise);
    }
    // Each pass maps the previous pass's bands again. A table look-up costs
    // the same whatever the byte holds, so the input is not restored.
    for (auto _ : state) {
        ApplyColourBands(pixels.data(), kRows, kRowBytes);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kRowBytes * kRows);
    imageState.palette = nullptr;
}

}  // namespace

// Bytes per second of CPU time: the pass runs on one core, and on a shared
// machine wall time would also count the waits for that core.
BENCHMARK(ColourBands64MiB)->Arg(kGreyRamp)->Arg(kInvertedRamp)->Unit(benchmark::kMillisecond);
