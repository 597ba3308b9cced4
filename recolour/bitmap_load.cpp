#include <algorithm>
#include <cerrno>
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

// Where the image is read from: an open file, closed by whoever opened it
// on every way out, or bytes in memory.
struct ImageSource {
    PlatformHandle handle = kNoPlatformHandle;
    const uint8_t* bytes = nullptr;
    int64_t byteCount = 0;

    ImageSource() = default;
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;
    ~ImageSource() { PlatformCloseInput(handle); }
};

// Exactly `count` bytes at `offset`. A read the system failed is told
// apart from a file that ends too soon by its errno.
CallStatus ReadAt(const ImageSource& source, int64_t offset, void* buffer, size_t count)
{
    if (source.handle == kNoPlatformHandle) {
        if (offset < 0 || offset > source.byteCount ||
            static_cast<uint64_t>(source.byteCount - offset) < count) {
            return {CallProblem::Truncated};
        }
        if (count > 0) {
            std::memcpy(buffer, source.bytes + offset, count);
        }
        return kCallOk;
    }
    errno = 0;
    if (!PlatformReadAt(source.handle, offset, buffer, count)) {
        return {CallProblem::Truncated, 0, errno};
    }
    return kCallOk;
}

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

// The first bytes of a file, read at once: the headers and, in every layout
// common writers use (up to the V5 header's 124 bytes), the palette too.
constexpr int64_t kHeadBytes = kFileHeaderBytes + 124 + kPaletteBytes;
static_assert(kHeadBytes >= kHeaderReadBytes);

struct FileHead {
    uint8_t bytes[kHeadBytes] = {};
    int64_t byteCount = 0;
};

// Reads the file's palette only for the grey level it gives each index; the
// palette written out is always the grey ramp. Indices the file does not
// describe count as black.
CallStatus ReadIndexGrey(const ImageSource& source, const FileHead& head,
                         const BitmapLayout& layout, ImageState* image)
{
    uint8_t bytes[kPaletteBytes] = {};
    int64_t entryBytes = layout.paletteEntryBytes;
    int64_t paletteBytes = layout.paletteEntries * entryBytes;
    if (layout.paletteOffset + paletteBytes <= head.byteCount) {
        std::memcpy(bytes, head.bytes + layout.paletteOffset, static_cast<size_t>(paletteBytes));
    } else if (CallStatus status =
                   ReadAt(source, layout.paletteOffset, bytes, static_cast<size_t>(paletteBytes));
               status.Failed()) {
        return status;
    }
    std::memset(image->indexGrey, 0, sizeof image->indexGrey);
    for (int64_t i = 0; i < layout.paletteEntries; ++i) {
        const uint8_t* entry = bytes + i * entryBytes;  // blue, green, red[, reserved]
        image->indexGrey[i] = GreyLevel(entry[2], entry[1], entry[0]);
    }
    return kCallOk;
}

void SetGreyRampPalette(PaletteEntry* palette)
{
    for (int i = 0; i < kPaletteEntries; ++i) {
        auto level = static_cast<uint8_t>(i);
        palette[i] = PaletteEntry{level, level, level, 0};
    }
}

// Reads the compressed rows whole and decodes them into the pixel buffer.
CallStatus ReadRle8Rows(const ImageSource& source, const BitmapLayout& layout, uint8_t* pixels)
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
        if (CallStatus status = ReadAt(source, layout.pixelOffset, data.get(),
                                       static_cast<size_t>(layout.pixelDataBytes));
            status.Failed()) {
            return status;
        }
    }
    switch (DecodeRle8(data.get(), static_cast<size_t>(layout.pixelDataBytes), pixels, layout.width,
                       layout.rows, layout.rowBytes)) {
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

CallStatus OpenInput(const char* path, ImageSource* source)
{
    errno = 0;
    switch (PlatformOpenInput(path, &source->handle, &source->byteCount)) {
    case InputOpenResult::Opened:
        break;
    case InputOpenResult::IsDirectory:
        return {CallProblem::InputIsDirectory};
    case InputOpenResult::NotRegularFile:
        return {CallProblem::InputNotRegular};
    case InputOpenResult::CannotOpen:
        return {CallProblem::InputCannotOpen, 0, errno};
    }
    return kCallOk;
}

// Fills `image` from the source.
CallStatus ReadBitmap(const ImageSource& source, ImageState* image)
{
    FileHead head;
    head.byteCount = source.byteCount < kHeadBytes ? source.byteCount : kHeadBytes;
    if (CallStatus status = ReadAt(source, 0, head.bytes, static_cast<size_t>(head.byteCount));
        status.Failed()) {
        return status;
    }
    BitmapLayout layout;
    if (CallStatus status = PlanBitmapRead(head.bytes, source.byteCount, &layout);
        status.Failed()) {
        return status;
    }
    if (CallStatus status = ReadIndexGrey(source, head, layout, image); status.Failed()) {
        return status;
    }

    image->width = layout.width;
    image->height = layout.height;
    image->bitCount = layout.bitCount;
    image->palette = static_cast<PaletteEntry*>(PlatformAllocate(kPaletteBytes));
    // An empty image still gets a buffer: an absent one means "nothing
    // loaded" to the writer.
    size_t imageBytes = static_cast<size_t>(layout.imageBytes);
    image->pixels = static_cast<uint8_t*>(PlatformAllocate(imageBytes > 0 ? imageBytes : 1));
    if (image->palette == nullptr || image->pixels == nullptr) {
        return {CallProblem::OutOfMemory};
    }
    SetGreyRampPalette(image->palette);
    if (layout.rle8) {
        return ReadRle8Rows(source, layout, image->pixels);
    }
    return ReadAt(source, layout.pixelOffset, image->pixels, imageBytes);
}

// Nothing of a failed read is left allocated.
CallStatus KeepOnlyIfRead(CallStatus status, ImageState* image)
{
    if (status.Failed()) {
        ReleaseImageOf(image);
    }
    return status;
}

}  // namespace

CallStatus ReadBitmapFile(const char* path, ImageState* image)
{
    ImageSource source;
    CallStatus status = OpenInput(path, &source);
    if (!status.Failed()) {
        status = ReadBitmap(source, image);
    }
    return KeepOnlyIfRead(status, image);
}

CallStatus ReadBitmapMemory(const void* bytes, size_t byteCount, ImageState* image)
{
    // No buffer is told as an absent path is; no bytes, as an empty file.
    if (bytes == nullptr && byteCount > 0) {
        return {CallProblem::InputCannotOpen};
    }
    ImageSource source;
    source.bytes = static_cast<const uint8_t*>(bytes);
    source.byteCount = static_cast<int64_t>(std::min<uint64_t>(byteCount, INT64_MAX));
    return KeepOnlyIfRead(ReadBitmap(source, image), image);
}

void LoadBitmapFile(const char* path)
{
    // The one place a load ends the call; the image state's buffers go
    // with it.
    if (CallStatus status = ReadBitmapFile(path, &imageState); status.Failed()) {
        EndCall(status);
    }
    PlatformPrint(kMessageLoaded);
}
