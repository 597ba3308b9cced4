#include "bmp_variants.h"

#include <stdexcept>

Bytes BuildCoreBmp(const CoreBmpLayout& layout)
{
    int64_t defaultOffset = 14 + 12 + static_cast<int64_t>(layout.palette.size());
    int64_t pixelOffset = layout.pixelOffset >= 0 ? layout.pixelOffset : defaultOffset;
    Bytes out{'B', 'M'};
    uint32_t fileSize = static_cast<uint32_t>(defaultOffset + layout.rows.size());
    AppendLe32(out, fileSize);
    AppendLe32(out, 0);
    AppendLe32(out, static_cast<uint32_t>(pixelOffset));
    AppendLe32(out, 12);
    AppendLe16(out, layout.width);
    AppendLe16(out, layout.height);
    AppendLe16(out, layout.planes);
    AppendLe16(out, layout.bitCount);
    out.insert(out.end(), layout.palette.begin(), layout.palette.end());
    out.insert(out.end(), layout.rows.begin(), layout.rows.end());
    return out;
}

Bytes GreyRampPalette3()
{
    Bytes palette;
    for (int i = 0; i < 256; ++i) {
        palette.insert(palette.end(), 3, static_cast<uint8_t>(i));
    }
    return palette;
}

Bytes Rle8Run(uint8_t count, uint8_t value)
{
    return {count, value};
}

Bytes Rle8Literal(const Bytes& pixels)
{
    if (pixels.size() < 3 || pixels.size() > 255) {
        throw std::invalid_argument("an RLE8 literal holds 3 to 255 pixels");
    }
    Bytes out{0, static_cast<uint8_t>(pixels.size())};
    out.insert(out.end(), pixels.begin(), pixels.end());
    if (pixels.size() % 2 != 0) {
        out.push_back(0);
    }
    return out;
}

Bytes Rle8Delta(uint8_t right, uint8_t down)
{
    return {0, 2, right, down};
}

Bytes Rle8EndOfLine()
{
    return {0, 0};
}

Bytes Rle8EndOfBitmap()
{
    return {0, 1};
}

Bytes Rle8Stream(std::initializer_list<Bytes> commands)
{
    Bytes out;
    for (const Bytes& command : commands) {
        out.insert(out.end(), command.begin(), command.end());
    }
    return out;
}

Bytes BuildRle8Bmp(int32_t width, int32_t height, const Bytes& stream)
{
    BmpLayout layout;
    layout.width = width;
    layout.height = height;
    layout.compression = 1;
    layout.palette = GreyRampPalette();
    layout.rows = stream;
    return BuildBmp(layout);
}
