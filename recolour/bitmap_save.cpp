#include <cerrno>
#include <cstring>

#include "band_colouring.h"
#include "bitmap_file.h"
#include "bitmap_format.h"
#include "byte_order.h"
#include "call_failure.h"
#include "messages.h"
#include "platform.h"

namespace {

// Where the file's bytes go, in order: an output file, or a buffer that
// holds the whole file.
struct ImageSink {
    PlatformOutput* file = nullptr;
    uint8_t* memory = nullptr;
    size_t written = 0;
};

// The failure of a step of the save, with the system's reason.
CallStatus OutputFailure(CallProblem problem)
{
    return {problem, 0, errno};
}

CallStatus Write(ImageSink* sink, const void* bytes, int64_t byteCount)
{
    if (sink->file == nullptr) {
        std::memcpy(sink->memory + sink->written, bytes, static_cast<size_t>(byteCount));
        sink->written += static_cast<size_t>(byteCount);
        return kCallOk;
    }
    errno = 0;
    if (!PlatformWrite(sink->file, bytes, static_cast<size_t>(byteCount))) {
        return OutputFailure(CallProblem::OutputWriteFailed);
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

SaveSizes SizesOf(const ImageState& image)
{
    SaveSizes sizes{};
    sizes.paletteBytes = (image.bitCount == 8 && image.palette != nullptr) ? kPaletteBytes : 0;
    sizes.rowBytes = RowBytes(image.width, image.bitCount);
    // Top-down images keep their negative height; their size uses |height|.
    sizes.rows = image.height < 0 ? -static_cast<int64_t>(image.height) : image.height;
    sizes.imageBytes = sizes.rowBytes * sizes.rows;
    return sizes;
}

int64_t FileBytes(const SaveSizes& sizes)
{
    return kHeadersBytes + sizes.paletteBytes + sizes.imageBytes;
}

// Writes the headers, colours the image in place, and writes the palette and
// the rows, in that order. The caller abandons the output on failure.
CallStatus WriteBitmap(ImageSink* sink, ImageState* image, const uint8_t* colours,
                       const SaveSizes& sizes)
{
    uint8_t headers[kHeadersBytes] = {};
    EncodeHeaders(headers, image->width, image->height, image->bitCount, sizes.paletteBytes,
                  sizes.imageBytes);
    if (CallStatus status = Write(sink, headers, kHeadersBytes); status.Failed()) {
        return status;
    }

    ColourBands(image, colours, image->pixels, static_cast<int32_t>(sizes.rows),
                static_cast<int32_t>(sizes.rowBytes));

    if (sizes.paletteBytes > 0) {
        uint8_t paletteFileBytes[kPaletteBytes];
        EncodePalette(paletteFileBytes, image->palette);
        if (CallStatus status = Write(sink, paletteFileBytes, kPaletteBytes); status.Failed()) {
            return status;
        }
    }
    return Write(sink, image->pixels, sizes.imageBytes);
}

// The problems a save of a file reports: Pavonize's own messages for its
// BMP, plainer ones for bytes a host encoded.
struct SaveProblems {
    CallProblem cannotCreate;
    CallProblem writeFailed;
};

// Begins the output, makes room for the whole file, has `write` write it
// and puts it in place; abandons the output on any failure. Room comes
// first: a full disk or a file-size limit then fails the save before a
// byte of an existing file is written over.
template <typename WriteContent>
CallStatus SaveFile(const char* path, int64_t fileBytes, SaveProblems problems, WriteContent write)
{
    PlatformOutput output;
    errno = 0;
    if (!PlatformBeginOutput(path, &output)) {
        return OutputFailure(problems.cannotCreate);
    }
    errno = 0;
    if (!PlatformReserveOutput(&output, fileBytes)) {
        CallStatus failure = OutputFailure(problems.writeFailed);
        PlatformAbandonOutput(&output);
        return failure;
    }
    ImageSink sink{.file = &output};
    if (CallStatus status = write(&sink); status.Failed()) {
        if (status.problem == CallProblem::OutputWriteFailed) {
            status.problem = problems.writeFailed;
        }
        PlatformAbandonOutput(&output);
        return status;
    }
    errno = 0;
    if (!PlatformFinishOutput(&output)) {
        return OutputFailure(problems.writeFailed);
    }
    return kCallOk;
}

}  // namespace

CallStatus WriteBitmapFile(const char* path, ImageState* image, const uint8_t* colours)
{
    if (image->pixels == nullptr) {
        return {CallProblem::NoPixels};
    }
    SaveSizes sizes = SizesOf(*image);
    return SaveFile(path, FileBytes(sizes),
                    {CallProblem::OutputCannotCreate, CallProblem::OutputWriteFailed},
                    [&](ImageSink* sink) { return WriteBitmap(sink, image, colours, sizes); });
}

CallStatus WriteBytesFile(const char* path, const void* bytes, size_t byteCount)
{
    if (bytes == nullptr && byteCount > 0) {
        return {CallProblem::FileWriteFailed, 0, EFAULT};
    }
    return SaveFile(
        path, static_cast<int64_t>(byteCount),
        {CallProblem::FileCannotCreate, CallProblem::FileWriteFailed}, [&](ImageSink* sink) {
            return byteCount == 0 ? kCallOk : Write(sink, bytes, static_cast<int64_t>(byteCount));
        });
}

CallStatus WriteBitmapMemory(ImageState* image, const uint8_t* colours, uint8_t** output,
                             size_t* outputBytes)
{
    *output = nullptr;
    *outputBytes = 0;
    if (image->pixels == nullptr) {
        return {CallProblem::NoPixels};
    }
    SaveSizes sizes = SizesOf(*image);
    // No more than kMaxFileBytes, which the loader's limits keep to.
    auto fileBytes = static_cast<size_t>(FileBytes(sizes));
    ImageSink sink{.memory = static_cast<uint8_t*>(PlatformAllocate(fileBytes))};
    if (sink.memory == nullptr) {
        return {CallProblem::OutOfMemory};
    }
    if (CallStatus status = WriteBitmap(&sink, image, colours, sizes); status.Failed()) {
        PlatformRelease(sink.memory);
        return status;
    }
    *output = sink.memory;
    *outputBytes = fileBytes;
    return kCallOk;
}

void SaveBitmapFile(const char* path, uint8_t* pixels, int32_t width, int32_t height,
                    int32_t bitCount, PaletteEntry* palette)
{
    // The writer works on an image state: this one borrows the buffers
    // handed over, and the grey levels of the module-wide image they
    // belong to.
    ImageState image = imageState;
    image.pixels = pixels;
    image.width = width;
    image.height = height;
    image.bitCount = bitCount;
    image.palette = palette;
    // The one place a save ends the call.
    if (CallStatus status = WriteBitmapFile(path, &image, nullptr); status.Failed()) {
        EndCall(status);
    }
    PlatformPrint(kMessageSaved);
}
