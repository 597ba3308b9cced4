#include "grey_pixels.h"

#include <cstring>

#include "band_colouring.h"
#include "image_state.h"

CallStatus BandGreyPixels(const uint8_t* grey, size_t width, size_t height, size_t greyStride,
                          const uint8_t* colours, uint8_t* bands, size_t bandsStride,
                          uint8_t* palette)
{
    const bool empty = width == 0 || height == 0;
    if (!empty && (grey == nullptr || greyStride < width)) {
        return {CallProblem::PixelsMissing};
    }
    if (palette == nullptr || (!empty && (bands == nullptr || bandsStride < width))) {
        return {CallProblem::BandsMissing};
    }
    // The colours go where the BMP writer puts them, over a grey ramp.
    PaletteEntry entries[kPaletteEntries];
    for (int i = 0; i < kPaletteEntries; ++i) {
        auto level = static_cast<uint8_t>(i);
        entries[i] = PaletteEntry{level, level, level, 0};
    }
    ImageState image;
    image.palette = entries;
    ColourBands(&image, colours, nullptr, 0, 0);
    for (int i = 0; i < kPaletteEntries; ++i) {
        palette[i * 3 + 0] = entries[i].red;
        palette[i * 3 + 1] = entries[i].green;
        palette[i * 3 + 2] = entries[i].blue;
    }
    for (size_t row = 0; row < height && !empty; ++row) {
        uint8_t* out = bands + row * bandsStride;
        std::memmove(out, grey + row * greyStride, width);
        MapGreyLevelsToBands(out, static_cast<int64_t>(width));
    }
    return kCallOk;
}
