#include "bitmap_header.h"

#include "byte_order.h"
#include "image_state.h"
#include "rle8_decode.h"

namespace {

// An RLE8 image may declare at most this many pixels per byte of its data.
// A two-byte run gives at most 255 pixels, so ordinary data stays below 128
// per byte; only end-of-line, delta and end-of-bitmap commands skip more.
// Twice that leaves room for real files that skip, while a file of a few
// bytes cannot ask for an image of gigabytes.
constexpr int64_t kRle8MaxPixelsPerByte = 256;

// The largest pixel buffer an RLE8 file may ask for, 256 MiB (16384 x 16384
// pixels). Unlike uncompressed rows, which the file must hold byte for byte,
// compressed data can stand for far more memory than the file takes up; past
// this the image is refused instead of risking gigabyte allocations.
constexpr int64_t kMaxRle8ImageBytes = int64_t{1} << 28;

// The information header's fields as the file states them, whichever
// version of the header it carries.
struct DeclaredHeader {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t planes = 0;
    int32_t bitCount = 0;
    uint32_t compression = kCompressionNone;
    int64_t paletteEntries = 0;
    int64_t paletteEntryBytes = 4;
};

// OS/2's 12-byte core header: unsigned 16-bit width and height, so always
// bottom-up; no compression field; a palette of 2^bitCount 3-byte entries.
DeclaredHeader DecodeCoreHeader(const uint8_t* info)
{
    DeclaredHeader header;
    header.width = ReadLe16(info + kFieldCoreWidth);
    header.height = ReadLe16(info + kFieldCoreHeight);
    header.planes = ReadLe16(info + kFieldCorePlanes);
    header.bitCount = ReadLe16(info + kFieldCoreBitCount);
    header.paletteEntries = kPaletteEntries;
    header.paletteEntryBytes = 3;
    return header;
}

// BITMAPINFOHEADER and every longer header (V2 to V5, OS/2 2.x), which all
// begin with its 40 bytes.
DeclaredHeader DecodeInfoHeader(const uint8_t* info)
{
    DeclaredHeader header;
    header.width = ReadLeSigned32(info + kFieldWidth);
    header.height = ReadLeSigned32(info + kFieldHeight);
    header.planes = ReadLe16(info + kFieldPlanes);
    header.bitCount = ReadLe16(info + kFieldBitCount);
    header.compression = ReadLe32(info + kFieldCompression);
    header.paletteEntries = ReadLe32(info + kFieldColoursUsed);
    // 0 colours used means the full 256 for an 8-bit image.
    if (header.paletteEntries == 0) {
        header.paletteEntries = kPaletteEntries;
    }
    return header;
}

}  // namespace

CallStatus PlanBitmapRead(const uint8_t* headerBytes, int64_t fileBytes, BitmapLayout* layout)
{
    if (fileBytes < 2 || ReadLe16(headerBytes + kFieldType) != kBitmapSignature) {
        return {CallProblem::NotBmp};
    }
    if (fileBytes < kFileHeaderBytes + 4) {
        return {CallProblem::Truncated};
    }
    const uint8_t* info = headerBytes + kFileHeaderBytes;
    int64_t infoBytes = ReadLe32(info + kFieldInfoSize);
    DeclaredHeader header;
    if (infoBytes == kCoreHeaderBytes) {
        if (fileBytes < kFileHeaderBytes + kCoreHeaderBytes) {
            return {CallProblem::Truncated};
        }
        header = DecodeCoreHeader(info);
    } else {
        if (infoBytes < kInfoHeaderBytes) {
            return {CallProblem::HeaderTooSmall};
        }
        if (fileBytes < kHeadersBytes) {
            return {CallProblem::Truncated};
        }
        header = DecodeInfoHeader(info);
    }

    // The format defines a single plane; any other count marks a damaged
    // file or one that is not a bitmap at all.
    if (header.planes != 1) {
        return {CallProblem::PlanesNotOne, header.planes};
    }
    if (header.bitCount != 8) {
        return {CallProblem::DepthNotSupported, static_cast<uint32_t>(header.bitCount)};
    }
    bool rle8 = header.compression == kCompressionRle8;
    if (header.compression != kCompressionNone && !rle8) {
        return {CallProblem::CompressionNotSupported, header.compression};
    }
    if (header.width < 0) {
        return {CallProblem::NegativeWidth};
    }
    // A negative height is the format's top-down layout; |INT32_MIN| has no
    // 32-bit counterpart to write back, so it is refused as too large.
    if (header.height == INT32_MIN) {
        return {CallProblem::TooLarge};
    }
    // The format allows run-length data only bottom-up.
    if (rle8 && header.height < 0) {
        return {CallProblem::TopDownRle8};
    }
    int64_t rows = header.height < 0 ? -static_cast<int64_t>(header.height) : header.height;
    int64_t rowBytes = RowBytes(header.width, header.bitCount);
    int64_t imageBytes = rowBytes * rows;  // below 2^62: no overflow
    if (kHeadersBytes + kPaletteBytes + imageBytes > kMaxFileBytes ||
        (rle8 && imageBytes > kMaxRle8ImageBytes)) {
        return {CallProblem::TooLarge};
    }
    if (header.paletteEntries > kPaletteEntries) {
        return {CallProblem::PaletteTooLarge};
    }
    // The palette follows the information header, whatever its version.
    int64_t paletteOffset = kFileHeaderBytes + infoBytes;
    if (paletteOffset > fileBytes) {
        return {CallProblem::Truncated};
    }
    int64_t pixelOffset = ReadLe32(headerBytes + kFieldPixelOffset);
    if (pixelOffset < paletteOffset || pixelOffset > kMaxFileBytes) {
        return {CallProblem::BadPixelOffset};
    }
    // Some writers set the pixel offset to the end of the information header
    // although a palette follows it; their rows start after the palette.
    int64_t declaredPaletteBytes = header.paletteEntries * header.paletteEntryBytes;
    if (pixelOffset == paletteOffset) {
        pixelOffset += declaredPaletteBytes;
    }
    // Otherwise the rows start where the file header says, which may leave a
    // gap or cut a declared palette short.
    int64_t paletteRoom = (pixelOffset - paletteOffset) / header.paletteEntryBytes;

    int64_t pixelDataBytes = imageBytes;
    if (rle8) {
        if (pixelOffset > fileBytes) {
            return {CallProblem::Truncated};
        }
        int64_t dataBytes = fileBytes - pixelOffset;
        int64_t pixels = static_cast<int64_t>(header.width) * rows;
        // pixels > 256 x dataBytes, divided rather than multiplied: a sparse
        // file's size may be anything up to 2^63 - 1.
        if ((pixels + kRle8MaxPixelsPerByte - 1) / kRle8MaxPixelsPerByte > dataBytes) {
            return {CallProblem::Rle8TooShort};
        }
        int64_t useful = Rle8LongestUsefulBytes(rowBytes, rows);
        pixelDataBytes = dataBytes < useful ? dataBytes : useful;
    } else if (pixelOffset + imageBytes > fileBytes) {
        return {CallProblem::Truncated};
    }

    layout->width = header.width;
    layout->height = header.height;
    layout->bitCount = header.bitCount;
    layout->rle8 = rle8;
    layout->rows = rows;
    layout->rowBytes = rowBytes;
    layout->imageBytes = imageBytes;
    layout->paletteOffset = paletteOffset;
    layout->paletteEntries =
        header.paletteEntries < paletteRoom ? header.paletteEntries : paletteRoom;
    layout->paletteEntryBytes = header.paletteEntryBytes;
    layout->pixelOffset = pixelOffset;
    layout->pixelDataBytes = pixelDataBytes;
    return kCallOk;
}
