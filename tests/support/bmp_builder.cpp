#include "bmp_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

Bytes BuildBmp(const BmpLayout& layout)
{
    int64_t defaultOffset = 14 + layout.infoSize + layout.palette.size() + layout.gapBeforePixels;
    int64_t pixelOffset = layout.pixelOffset >= 0 ? layout.pixelOffset : defaultOffset;
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    AppendLe32(out, static_cast<uint32_t>(defaultOffset + layout.rows.size()));
    AppendLe32(out, 0);
    AppendLe32(out, static_cast<uint32_t>(pixelOffset));
    AppendLe32(out, layout.infoSize);
    AppendLe32(out, static_cast<uint32_t>(layout.width));
    AppendLe32(out, static_cast<uint32_t>(layout.height));
    AppendLe16(out, layout.planes);
    AppendLe16(out, layout.bitCount);
    AppendLe32(out, layout.compression);
    AppendLe32(out, static_cast<uint32_t>(layout.rows.size()));
    AppendLe32(out, 2835);
    AppendLe32(out, 2835);
    AppendLe32(out, layout.coloursUsed);
    AppendLe32(out, 0);
    // V4/V5 extensions: masks, colour space and so on, as filler the reader
    // must skip.
    for (uint32_t i = 40; i < layout.infoSize; ++i) {
        out.push_back(static_cast<uint8_t>(0xA5 ^ i));
    }
    out.insert(out.end(), layout.palette.begin(), layout.palette.end());
    out.insert(out.end(), static_cast<size_t>(layout.gapBeforePixels), 0xEE);
    out.insert(out.end(), layout.rows.begin(), layout.rows.end());
    return out;
}

Bytes GreyRampPalette(int entries)
{
    Bytes palette;
    for (int i = 0; i < entries; ++i) {
        AppendLe32(palette, static_cast<uint32_t>(i | i << 8 | i << 16));
    }
    return palette;
}

void AppendLe16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void AppendLe32(Bytes& out, uint32_t value)
{
    AppendLe16(out, value & 0xFFFF);
    AppendLe16(out, value >> 16);
}

uint32_t Le32At(const Bytes& bytes, size_t offset)
{
    return bytes.at(offset) | bytes.at(offset + 1) << 8 | bytes.at(offset + 2) << 16 |
           static_cast<uint32_t>(bytes.at(offset + 3)) << 24;
}

uint16_t Le16At(const Bytes& bytes, size_t offset)
{
    return static_cast<uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

void PutLe16(Bytes& bytes, size_t offset, uint16_t value)
{
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void PutLe32(Bytes& bytes, size_t offset, uint32_t value)
{
    PutLe16(bytes, offset, static_cast<uint16_t>(value));
    PutLe16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

Bytes Slice(const Bytes& bytes, size_t offset, size_t count)
{
    return Bytes(bytes.begin() + offset, bytes.begin() + offset + count);
}
