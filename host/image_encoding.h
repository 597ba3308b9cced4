// The recoloured image in memory, and the files it is written as: an 8-bit
// BMP, laid out as the library writes one, or an indexed PNG with the same
// palette and indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct BandedImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bands;  // width x height band indices, top row first, unpadded
    uint8_t palette[768] = {};   // red, green, blue of 256 entries
};

// Whether `outputPath` names a PNG: it ends in ".png", in any case.
bool NamesPng(const std::string& outputPath);

// The image as the library's writer lays out an 8-bit BMP: rows bottom-up,
// padded to four bytes, a 256-entry palette, no resolution or colour counts.
std::vector<uint8_t> EncodeBitmap(const BandedImage& image);

// The bands and palette of an 8-bit uncompressed BMP the library wrote
// (PavonizeMemory's result); false for anything else.
bool BandedImageFromBitmap(std::span<const uint8_t> file, BandedImage* image);

// An indexed PNG, 8 bits per index, no filter, compressed. False, with the
// reason in `problem`, when it cannot be made (an empty image, say).
bool EncodeIndexedPng(const BandedImage& image, std::vector<uint8_t>* file, std::string* problem);
