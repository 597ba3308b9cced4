#include "band_colouring.h"
#include "bitmap_file.h"
#include "bitmap_format.h"
#include "byte_order.h"
#include "call_failure.h"
#include "messages.h"
#include "platform.h"

namespace {

CallStatus Write(PlatformOutput* output, const void* bytes, int64_t byteCount)
{
    if (!PlatformWrite(output, bytes, static_cast<size_t>(byteCount))) {
        return {CallProblem::OutputWriteFailed};
    }
    return kCallOk;
}

// The file header and a BITMAPINFOHEADER, uncompressed, with no resolution
// and no colour counts: nothing of the input's own headers is carried over.
void EncodeHeaders(uint8_t* headers, int32_t width, int32_t height, int32_t bitCount,
                   int64_t paletteBytes, int64_t imageBytes)
{
    uint8_t* info = headers + kFileHeaderBytes;
    WriteLe16(headers + kFieldType, kBitmapSignature);
    WriteLe32(headers + kFieldFileSize,
              static_cast<uint32_t>(kHeadersBytes + paletteBytes + imageBytes));
    WriteLe32(headers + kFieldPixelOffset, static_cast<uint32_t>(kHeadersBytes + paletteBytes));
    WriteLe32(info + kFieldInfoSize, kInfoHeaderBytes);
    WriteLe32(info + kFieldWidth, static_cast<uint32_t>(width));
    WriteLe32(info + kFieldHeight, static_cast<uint32_t>(height));
    WriteLe16(info + kFieldPlanes, 1);
    WriteLe16(info + kFieldBitCount, static_cast<uint16_t>(bitCount));
    WriteLe32(info + kFieldCompression, kCompressionNone);
    WriteLe32(info + kFieldImageSize, static_cast<uint32_t>(imageBytes));
}

void EncodePalette(uint8_t* bytes, const PaletteEntry* palette)
{
    for (int i = 0; i < kPaletteEntries; ++i) {
        bytes[i * 4 + 0] = palette[i].blue;
        bytes[i * 4 + 1] = palette[i].green;
        bytes[i * 4 + 2] = palette[i].red;
        bytes[i * 4 + 3] = 0;
    }
}

// The sizes of the file that a save writes.
struct SaveSizes {
    int64_t paletteBytes;
    int64_t rows;
    int64_t rowBytes;
    int64_t imageBytes;
};

SaveSizes SizesOf(int32_t width, int32_t height, int32_t bitCount, const PaletteEntry* palette)
{
    SaveSizes sizes{};
    sizes.paletteBytes = (bitCount == 8 && palette != nullptr) ? kPaletteBytes : 0;
    sizes.rowBytes = RowBytes(width, bitCount);
    // Top-down images keep their negative height; their size uses |height|.
    sizes.rows = height < 0 ? -static_cast<int64_t>(height) : height;
    sizes.imageBytes = sizes.rowBytes * sizes.rows;
    return sizes;
}

// Writes the headers, colours the image in place, and writes the palette and
// the rows, in that order. The caller abandons the output on failure.
CallStatus WriteBitmap(PlatformOutput* output, uint8_t* pixels, int32_t width, int32_t height,
                       int32_t bitCount, PaletteEntry* palette, const SaveSizes& sizes)
{
    uint8_t headers[kHeadersBytes] = {};
    EncodeHeaders(headers, width, height, bitCount, sizes.paletteBytes, sizes.imageBytes);
    if (CallStatus status = Write(output, headers, kHeadersBytes); status.Failed()) {
        return status;
    }

    ApplyColourBands(pixels, static_cast<int32_t>(sizes.rows),
                     static_cast<int32_t>(sizes.rowBytes));

    if (sizes.paletteBytes > 0) {
        uint8_t paletteFileBytes[kPaletteBytes];
        EncodePalette(paletteFileBytes, palette);
        if (CallStatus status = Write(output, paletteFileBytes, kPaletteBytes); status.Failed()) {
            return status;
        }
    }
    return Write(output, pixels, sizes.imageBytes);
}

CallStatus SaveBitmap(const char* path, uint8_t* pixels, int32_t width, int32_t height,
                      int32_t bitCount, PaletteEntry* palette)
{
    if (pixels == nullptr) {
        return {CallProblem::NoPixels};
    }
    PlatformOutput output;
    if (!PlatformBeginOutput(path, &output)) {
        return {CallProblem::OutputCannotCreate};
    }
    SaveSizes sizes = SizesOf(width, height, bitCount, palette);
    // Room for the whole file first: a full disk or a file-size limit then
    // fails the save before a byte of an existing file is written over.
    if (!PlatformReserveOutput(&output, kHeadersBytes + sizes.paletteBytes + sizes.imageBytes)) {
        PlatformAbandonOutput(&output);
        return {CallProblem::OutputWriteFailed};
    }
    if (CallStatus status = WriteBitmap(&output, pixels, width, height, bitCount, palette, sizes);
        status.Failed()) {
        PlatformAbandonOutput(&output);
        return status;
    }
    if (!PlatformFinishOutput(&output)) {
        return {CallProblem::OutputWriteFailed};
    }
    return kCallOk;
}

}  // namespace

void SaveBitmapFile(const char* path, uint8_t* pixels, int32_t width, int32_t height,
                    int32_t bitCount, PaletteEntry* palette)
{
    // The one place a save ends the call.
    if (CallStatus status = SaveBitmap(path, pixels, width, height, bitCount, palette);
        status.Failed()) {
        EndCall(status);
    }
    PlatformPrint(kMessageSaved);
}
