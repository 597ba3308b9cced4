// Test-side BMP construction and inspection, written apart from the
// library's own reader and writer so that each checks the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct BmpLayout {
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitCount = 8;
    uint16_t planes = 1;
    uint32_t infoSize = 40;  // 108 for V4, 124 for V5
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;     // 0: the palette holds 256 entries
    Bytes palette;                // blue, green, red, reserved per entry
    Bytes rows;                   // exactly as stored in the file, padding included
    int64_t gapBeforePixels = 0;  // extra bytes between palette and rows
    int64_t pixelOffset = -1;     // -1: right after palette and gap
};

Bytes BuildBmp(const BmpLayout& layout);

// 256 entries, entry i = (i, i, i, 0).
Bytes GreyRampPalette(int entries = 256);

// Rows of an 8-bit image whose pixel (x, y in file order) is value(x, y);
// padding bytes are `padding`.
template <typename ValueOf>
Bytes MakeRows(int32_t width, int32_t rows, ValueOf value, uint8_t padding = 0)
{
    int32_t rowBytes = (width + 3) / 4 * 4;
    Bytes out;
    for (int32_t y = 0; y < rows; ++y) {
        for (int32_t x = 0; x < rowBytes; ++x) {
            out.push_back(x < width ? static_cast<uint8_t>(value(x, y)) : padding);
        }
    }
    return out;
}

// Little-endian fields: appended, read and overwritten in place.
void AppendLe16(Bytes& out, uint32_t value);
void AppendLe32(Bytes& out, uint32_t value);
uint32_t Le32At(const Bytes& bytes, size_t offset);
uint16_t Le16At(const Bytes& bytes, size_t offset);
void PutLe16(Bytes& bytes, size_t offset, uint16_t value);
void PutLe32(Bytes& bytes, size_t offset, uint32_t value);

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);

// `count` bytes of `bytes` from `offset`.
Bytes Slice(const Bytes& bytes, size_t offset, size_t count);
