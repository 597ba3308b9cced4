// What the loader makes of a BMP file's headers: which header version it
// carries, where the palette and the rows are, and whether the image can be
// read at all. Everything here is decided from the headers and the file's
// size alone, before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap_format.h"
#include "call_status.h"

// The file header and the longest information header prefix the loader
// uses; shorter files are handed over as they are.
constexpr int64_t kHeaderReadBytes = kHeadersBytes;

struct BitmapLayout {
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top-down
    int32_t bitCount = 0;
    bool rle8 = false;
    int64_t rows = 0;  // |height|
    int64_t rowBytes = 0;
    int64_t imageBytes = 0;  // rows x rowBytes, the pixel buffer
    int64_t paletteOffset = 0;
    int64_t paletteEntries = 0;     // entries to read: declared and present
    int64_t paletteEntryBytes = 4;  // 3 in OS/2 files
    int64_t pixelOffset = 0;
    int64_t pixelDataBytes = 0;  // bytes to read at pixelOffset
};

// `headerBytes` holds the file's first min(fileBytes, kHeaderReadBytes)
// bytes. Fills `layout` when the image can be read; otherwise returns why
// not, with the file's value when the message names one.
CallStatus PlanBitmapRead(const uint8_t* headerBytes, int64_t fileBytes, BitmapLayout* layout);
