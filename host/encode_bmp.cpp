#include <algorithm>
#include <cstring>
#include <string_view>

#include "byte_order.h"
#include "image_encoding.h"
#include "recolour/bitmap_format.h"

namespace {

size_t PaddedRowBytes(uint32_t width)
{
    return (static_cast<size_t>(width) + 3) / 4 * 4;
}

}  // namespace

bool NamesPng(const std::string& outputPath)
{
    constexpr std::string_view kSuffix = ".png";
    if (outputPath.size() < kSuffix.size()) {
        return false;
    }
    return std::equal(kSuffix.begin(), kSuffix.end(), outputPath.end() - kSuffix.size(),
                      [](char wanted, char got) {
                          return wanted == (got >= 'A' && got <= 'Z' ? got - 'A' + 'a' : got);
                      });
}

std::vector<uint8_t> EncodeBitmap(const BandedImage& image)
{
    const size_t rowBytes = PaddedRowBytes(image.width);
    const size_t imageBytes = rowBytes * image.height;
    const size_t pixelOffset = kHeadersBytes + kPaletteBytes;
    std::vector<uint8_t> file(pixelOffset + imageBytes);
    uint8_t* info = file.data() + kFileHeaderBytes;
    WriteLe16(file.data() + kFieldType, kBitmapSignature);
    WriteLe32(file.data() + kFieldFileSize, static_cast<uint32_t>(file.size()));
    WriteLe32(file.data() + kFieldPixelOffset, static_cast<uint32_t>(pixelOffset));
    WriteLe32(info + kFieldInfoSize, kInfoHeaderBytes);
    WriteLe32(info + kFieldWidth, image.width);
    WriteLe32(info + kFieldHeight, image.height);
    WriteLe16(info + kFieldPlanes, 1);
    WriteLe16(info + kFieldBitCount, 8);
    WriteLe32(info + kFieldCompression, kCompressionNone);
    WriteLe32(info + kFieldImageSize, static_cast<uint32_t>(imageBytes));
    uint8_t* palette = file.data() + kHeadersBytes;
    for (int i = 0; i < kPaletteEntries; ++i) {  // blue, green, red, reserved
        palette[i * 4 + 0] = image.palette[i * 3 + 2];
        palette[i * 4 + 1] = image.palette[i * 3 + 1];
        palette[i * 4 + 2] = image.palette[i * 3 + 0];
    }
    // The bottom row comes first.
    for (uint32_t row = 0; row < image.height; ++row) {
        std::memcpy(file.data() + pixelOffset + (image.height - 1 - row) * rowBytes,
                    image.bands.data() + static_cast<size_t>(row) * image.width, image.width);
    }
    return file;
}

bool BandedImageFromBitmap(std::span<const uint8_t> file, BandedImage* image)
{
    if (file.size() < static_cast<size_t>(kHeadersBytes + kPaletteBytes) ||
        ReadLe16(file.data() + kFieldType) != kBitmapSignature) {
        return false;
    }
    const uint8_t* info = file.data() + kFileHeaderBytes;
    int32_t width = ReadLeSigned32(info + kFieldWidth);
    int32_t height = ReadLeSigned32(info + kFieldHeight);
    uint32_t pixelOffset = ReadLe32(file.data() + kFieldPixelOffset);
    if (ReadLe16(info + kFieldBitCount) != 8 || width < 0 || height == INT32_MIN ||
        ReadLe32(info + kFieldCompression) != kCompressionNone) {
        return false;
    }
    const bool bottomUp = height > 0;
    image->width = static_cast<uint32_t>(width);
    image->height = static_cast<uint32_t>(bottomUp ? height : -height);
    const size_t rowBytes = PaddedRowBytes(image->width);
    if (pixelOffset > file.size() ||
        (rowBytes > 0 && (file.size() - pixelOffset) / rowBytes < image->height)) {
        return false;
    }
    const uint8_t* palette = file.data() + kHeadersBytes;
    for (int i = 0; i < kPaletteEntries; ++i) {
        image->palette[i * 3 + 0] = palette[i * 4 + 2];
        image->palette[i * 3 + 1] = palette[i * 4 + 1];
        image->palette[i * 3 + 2] = palette[i * 4 + 0];
    }
    image->bands.resize(static_cast<size_t>(image->width) * image->height);
    for (uint32_t row = 0; row < image->height; ++row) {
        uint32_t fileRow = bottomUp ? image->height - 1 - row : row;
        std::memcpy(image->bands.data() + static_cast<size_t>(row) * image->width,
                    file.data() + pixelOffset + fileRow * rowBytes, image->width);
    }
    return true;
}
