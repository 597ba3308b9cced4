#include <cstring>
#include <memory>

#include "bitmap_file.h"
#include "bitmap_header.h"
#include "call_failure.h"
#include "call_status.h"
#include "messages.h"
#include "platform.h"
#include "rle8_decode.h"

namespace {

// The open input, closed by whoever opened it on every way out.
struct InputFile {
    PlatformHandle handle = kNoPlatformHandle;

    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { PlatformCloseInput(handle); }
};

struct BufferRelease {
    void operator()(uint8_t* buffer) const { PlatformRelease(buffer); }
};
using Buffer = std::unique_ptr<uint8_t, BufferRelease>;

// Grey level of a palette colour with the usual luma weights (0.299, 0.587,
// 0.114 in 8-bit fixed point). The weights add up to 256, so a grey entry
// gives back exactly its own value.
uint8_t GreyLevel(uint8_t red, uint8_t green, uint8_t blue)
{
    return static_cast<uint8_t>((77 * red + 150 * green + 29 * blue + 128) >> 8);
}

// Reads the file's palette only for the grey level it gives each index; the
// palette written out is always the grey ramp. Indices the file does not
// describe count as black.
CallStatus ReadIndexGrey(const InputFile& input, const BitmapLayout& layout)
{
    uint8_t bytes[kPaletteBytes];
    int64_t entryBytes = layout.paletteEntryBytes;
    if (!PlatformReadAt(input.handle, layout.paletteOffset, bytes,
                        static_cast<size_t>(layout.paletteEntries * entryBytes))) {
        return {CallProblem::Truncated};
    }
    std::memset(imageState.indexGrey, 0, sizeof imageState.indexGrey);
    for (int64_t i = 0; i < layout.paletteEntries; ++i) {
        const uint8_t* entry = bytes + i * entryBytes;  // blue, green, red[, reserved]
        imageState.indexGrey[i] = GreyLevel(entry[2], entry[1], entry[0]);
    }
    return kCallOk;
}

void SetGreyRampPalette()
{
    for (int i = 0; i < kPaletteEntries; ++i) {
        auto level = static_cast<uint8_t>(i);
        imageState.palette[i] = PaletteEntry{level, level, level, 0};
    }
}

// Reads the compressed rows whole and decodes them into the pixel buffer.
CallStatus ReadRle8Rows(const InputFile& input, const BitmapLayout& layout)
{
    // An empty image is decoded too: its data may end at once or move the
    // cursor, but any pixel it sets lies outside the image.
    Buffer data;
    if (layout.pixelDataBytes > 0) {
        data.reset(
            static_cast<uint8_t*>(PlatformAllocate(static_cast<size_t>(layout.pixelDataBytes))));
        if (!data) {
            return {CallProblem::OutOfMemory};
        }
        if (!PlatformReadAt(input.handle, layout.pixelOffset, data.get(),
                            static_cast<size_t>(layout.pixelDataBytes))) {
            return {CallProblem::Truncated};
        }
    }
    switch (DecodeRle8(data.get(), static_cast<size_t>(layout.pixelDataBytes), imageState.pixels,
                       layout.width, layout.rows, layout.rowBytes)) {
    case Rle8Result::Complete:
        break;
    case Rle8Result::RowOverrun:
        return {CallProblem::Rle8RowOverrun};
    case Rle8Result::ImageOverrun:
        return {CallProblem::Rle8ImageOverrun};
    case Rle8Result::EndsEarly:
        return {CallProblem::Rle8EndsEarly};
    }
    return kCallOk;
}

CallStatus OpenInput(const char* path, InputFile* input, int64_t* fileBytes)
{
    switch (PlatformOpenInput(path, &input->handle, fileBytes)) {
    case InputOpenResult::Opened:
        break;
    case InputOpenResult::IsDirectory:
        return {CallProblem::InputIsDirectory};
    case InputOpenResult::NotRegularFile:
        return {CallProblem::InputNotRegular};
    case InputOpenResult::CannotOpen:
        return {CallProblem::InputCannotOpen};
    }
    return kCallOk;
}

// Fills imageState from the file; the input is closed when this returns.
CallStatus ReadBitmapFile(const char* path)
{
    InputFile input;
    int64_t fileBytes = 0;
    if (CallStatus status = OpenInput(path, &input, &fileBytes); status.Failed()) {
        return status;
    }

    uint8_t headers[kHeaderReadBytes] = {};
    int64_t headerBytes = fileBytes < kHeaderReadBytes ? fileBytes : kHeaderReadBytes;
    if (!PlatformReadAt(input.handle, 0, headers, static_cast<size_t>(headerBytes))) {
        return {CallProblem::Truncated};
    }
    BitmapLayout layout;
    if (CallStatus status = PlanBitmapRead(headers, fileBytes, &layout); status.Failed()) {
        return status;
    }
    if (CallStatus status = ReadIndexGrey(input, layout); status.Failed()) {
        return status;
    }

    imageState.width = layout.width;
    imageState.height = layout.height;
    imageState.bitCount = layout.bitCount;
    imageState.palette = static_cast<PaletteEntry*>(PlatformAllocate(kPaletteBytes));
    // An empty image still gets a buffer: an absent one means "nothing
    // loaded" to the writer.
    size_t imageBytes = static_cast<size_t>(layout.imageBytes);
    imageState.pixels = static_cast<uint8_t*>(PlatformAllocate(imageBytes > 0 ? imageBytes : 1));
    if (imageState.palette == nullptr || imageState.pixels == nullptr) {
        return {CallProblem::OutOfMemory};
    }
    SetGreyRampPalette();
    if (layout.rle8) {
        return ReadRle8Rows(input, layout);
    }
    if (!PlatformReadAt(input.handle, layout.pixelOffset, imageState.pixels, imageBytes)) {
        return {CallProblem::Truncated};
    }
    return kCallOk;
}

}  // namespace

void LoadBitmapFile(const char* path)
{
    // The one place a load ends the call; the image state's buffers go
    // with it.
    if (CallStatus status = ReadBitmapFile(path); status.Failed()) {
        EndCall(status);
    }
    PlatformPrint(kMessageLoaded);
}
