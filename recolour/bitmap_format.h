// The BMP file layout shared by the loader and the writer.
#pragma once

#include <cstdint>

constexpr int64_t kFileHeaderBytes = 14;
constexpr int64_t kInfoHeaderBytes = 40;  // BITMAPINFOHEADER; V4/V5 extend it
constexpr int64_t kCoreHeaderBytes = 12;  // OS/2 BITMAPCOREHEADER
constexpr int64_t kHeadersBytes = kFileHeaderBytes + kInfoHeaderBytes;
constexpr uint16_t kBitmapSignature = 0x4D42;  // "BM"
constexpr uint32_t kCompressionNone = 0;       // BI_RGB
constexpr uint32_t kCompressionRle8 = 1;       // BI_RLE8

// The palette of an 8-bit image, as the writer always writes it: 256
// entries of blue, green, red and a reserved byte, right after the headers.
constexpr int kPaletteEntries = 256;
constexpr int kPaletteBytes = kPaletteEntries * 4;

// Offsets within the file header.
constexpr int kFieldType = 0;
constexpr int kFieldFileSize = 2;
constexpr int kFieldPixelOffset = 10;

// Offsets within the information header.
constexpr int kFieldInfoSize = 0;
constexpr int kFieldWidth = 4;
constexpr int kFieldHeight = 8;
constexpr int kFieldPlanes = 12;
constexpr int kFieldBitCount = 14;
constexpr int kFieldCompression = 16;
constexpr int kFieldImageSize = 20;
constexpr int kFieldColoursUsed = 32;

// Offsets within the OS/2 core header: 16-bit width and height.
constexpr int kFieldCoreWidth = 4;
constexpr int kFieldCoreHeight = 6;
constexpr int kFieldCorePlanes = 8;
constexpr int kFieldCoreBitCount = 10;

// The format's size fields are 32 bits, and many readers take them as
// signed: a file whose size or pixel area exceeds INT32_MAX bytes cannot be
// described to them, so it is neither read nor written.
constexpr int64_t kMaxFileBytes = INT32_MAX;
