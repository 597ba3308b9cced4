// An image in memory: what the loader fills, the colouring changes and the
// writer writes, all within one call. Pavonize uses the module-wide one;
// the calls that return their failure each have their own.
#pragma once

#include <cstdint>

#include "bitmap_format.h"

// One palette colour, in the bitmap format's byte order.
struct PaletteEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;  // always written as 0
};

struct ImageState {
    uint8_t* pixels = nullptr;  // RowBytes x |height| bytes, owned
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top-down
    int32_t bitCount = 0;
    PaletteEntry* palette = nullptr;  // 256 entries for 8-bit images, owned
    // The grey level the file's own palette gives each pixel index; the
    // colouring bands by it, so images whose palette is not the identity
    // ramp band the way they look.
    uint8_t indexGrey[kPaletteEntries] = {};
};

// The module-wide image of Pavonize, guarded by the call lock.
extern ImageState imageState;

// Bytes of one pixel row in memory and on file: width x bitCount bits,
// padded to a multiple of four bytes. 64-bit, so no width can overflow it.
int64_t RowBytes(int64_t width, int64_t bitCount);

// Releases both buffers of `image` and sets them absent.
void ReleaseImageOf(ImageState* image);

// Releases both buffers of the module-wide image.
void ReleaseImage();
