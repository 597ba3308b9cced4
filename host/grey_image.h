// An image of another format, decoded to the 8-bit grey values that are
// banded, and the rules by which every decoder takes its greys, so that
// each format gives the values a user would check it against (Pillow's
// own decoding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "recolour/bitmap_format.h"

struct GreyImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;  // width x height values, top row first, rows unpadded
};

enum class DecodeOutcome {
    Decoded,
    Malformed,    // damaged: truncated, inconsistent, a decoder's error
    Unsupported,  // valid, but not read here: too large, a sample layout not taken
    OutOfMemory,
};

struct DecodeResult {
    DecodeOutcome outcome = DecodeOutcome::Decoded;
    std::string message;  // the format's reason, without a line feed: "PNG file is truncated"

    bool Failed() const { return outcome != DecodeOutcome::Decoded; }
};

inline DecodeResult Malformed(std::string message)
{
    return {DecodeOutcome::Malformed, std::move(message)};
}
inline DecodeResult Unsupported(std::string message)
{
    return {DecodeOutcome::Unsupported, std::move(message)};
}
inline DecodeResult OutOfMemory()
{
    return {DecodeOutcome::OutOfMemory, "not enough memory for the image"};
}

// The most memory a decoder may ask for its samples before they become
// greys (16-bit RGBA takes eight bytes a pixel): a few kilobytes of a
// compressed file must not make the decoder claim more than this.
inline constexpr uint64_t kMaxDecodeBytes = uint64_t{4} << 30;

// Deflate turns one byte into at most 1032: a PNG smaller than its image's
// samples over this cannot hold them and is cut short, refused before any
// memory is asked for the image. Other coders have their own bound.
inline constexpr uint64_t kDeflateMaxRatio = 1032;

// Whether `fileBytes` of data compressed at most `maxRatio` to one can
// hold `decodedBytes`.
inline bool CompressedCanHold(uint64_t fileBytes, uint64_t decodedBytes, uint64_t maxRatio)
{
    return decodedBytes / maxRatio <= fileBytes;
}

// Whether an image of these dimensions, whose decoder holds
// `sampleBytesPerPixel` bytes a pixel, can be read: its recoloured 8-bit
// BMP must stay within the format's file size (so that every output a BMP
// can be is possible), and its samples within kMaxDecodeBytes. Checked
// before anything is decoded; overflow-safe for any 32-bit dimensions.
inline bool DimensionsAreReadable(uint64_t width, uint64_t height, uint64_t sampleBytesPerPixel)
{
    if (width > UINT32_MAX || height > UINT32_MAX) {
        return false;
    }
    if (width == 0 || height == 0) {
        return true;
    }
    constexpr auto kMaxPixelBytes =
        static_cast<uint64_t>(kMaxFileBytes - kHeadersBytes - kPaletteBytes);
    uint64_t rowBytes = (width + 3) / 4 * 4;
    if (rowBytes > kMaxPixelBytes / height) {
        return false;
    }
    return width * height <= kMaxDecodeBytes / (sampleBytesPerPixel == 0 ? 1 : sampleBytesPerPixel);
}

// ---- How greys are taken ----------------------------------------------------

// Colour to grey as Pillow's convert("L"): ITU-R 601-2 luma in 16-bit
// fixed point, rounded.
inline uint8_t LumaOf(uint32_t red, uint32_t green, uint32_t blue)
{
    return static_cast<uint8_t>((red * 19595 + green * 38470 + blue * 7471 + 0x8000) >> 16);
}

// A 16-bit sample by its top eight bits.
inline uint8_t Top8(uint32_t sample16)
{
    return static_cast<uint8_t>(sample16 >> 8);
}

// A 1-, 2- or 4-bit sample scaled to 0-255 by repeating its bits: 2-bit 1
// is 0x55, 4-bit 9 is 0x99, 1-bit 1 is 0xFF.
inline uint8_t ReplicateBits(uint32_t sample, uint32_t depth)
{
    uint32_t value = sample & ((1u << depth) - 1);
    uint32_t result = 0;
    for (uint32_t filled = 0; filled < 8; filled += depth) {
        result = (result << depth) | value;
    }
    return static_cast<uint8_t>(result >> ((8 + depth - 1) / depth * depth - 8));
}

// The `index`th sample of a row of `depth`-bit samples (1, 2, 4, 8 or 16;
// 16-bit ones in host order, as libspng and libtiff hand them over).
inline uint32_t SampleAt(const uint8_t* row, uint64_t index, uint32_t depth)
{
    if (depth == 16) {
        uint16_t sample;
        std::memcpy(&sample, row + index * 2, 2);
        return sample;
    }
    if (depth == 8) {
        return row[index];
    }
    uint64_t bit = index * depth;
    uint32_t shift = 8 - depth - static_cast<uint32_t>(bit % 8);
    return (row[bit / 8] >> shift) & ((1u << depth) - 1);
}

// An 8-bit value of one sample: low depths by bit replication, 16 bits by
// the top eight.
inline uint8_t EightBit(uint32_t sample, uint32_t depth)
{
    if (depth == 16) {
        return Top8(sample);
    }
    return depth == 8 ? static_cast<uint8_t>(sample) : ReplicateBits(sample, depth);
}
