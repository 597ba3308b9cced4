// Test-side construction of the BMP variants beyond the plain layout:
// OS/2 core-header files and run-length (RLE8) streams.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "bmp_builder.h"

// A file with the 12-byte OS/2 core header: 16-bit width and height and
// 3-byte palette entries (blue, green, red).
struct CoreBmpLayout {
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t bitCount = 8;
    uint16_t planes = 1;
    Bytes palette;
    Bytes rows;
    int64_t pixelOffset = -1;  // -1: right after the palette
};

Bytes BuildCoreBmp(const CoreBmpLayout& layout);

// 256 three-byte entries, entry i = (i, i, i).
Bytes GreyRampPalette3();

// RLE8 commands, to be joined with Rle8Stream.
Bytes Rle8Run(uint8_t count, uint8_t value);
Bytes Rle8Literal(const Bytes& pixels);  // 3 to 255 pixels, padded to even length
Bytes Rle8Delta(uint8_t right, uint8_t down);
Bytes Rle8EndOfLine();
Bytes Rle8EndOfBitmap();
Bytes Rle8Stream(std::initializer_list<Bytes> commands);

// An 8-bit RLE8 file with a grey-ramp palette and `stream` as its data.
Bytes BuildRle8Bmp(int32_t width, int32_t height, const Bytes& stream);
