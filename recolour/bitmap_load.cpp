#include <cstring>

#include "bitmap_file.h"
#include "bitmap_header.h"
#include "call_failure.h"
#include "messages.h"
#include "platform.h"
#include "rle8_decode.h"

namespace {

PlatformHandle inputHandle = kNoPlatformHandle;
uint8_t* rle8Data = nullptr;  // the compressed rows while they are decoded

void CloseInput()
{
    PlatformCloseInput(inputHandle);
    inputHandle = kNoPlatformHandle;
    PlatformRelease(rle8Data);
    rle8Data = nullptr;
}

// Refuses the input: nothing of it stays allocated or open.
[[noreturn]] void RefuseInput(const char* message)
{
    CloseInput();
    EndCallWithMessage(message);
}

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
void ReadIndexGrey(const BitmapLayout& layout)
{
    uint8_t bytes[kPaletteBytes];
    int64_t entryBytes = layout.paletteEntryBytes;
    if (!PlatformReadAt(inputHandle, layout.paletteOffset, bytes,
                        static_cast<size_t>(layout.paletteEntries * entryBytes))) {
        RefuseInput(kMessageTruncated);
    }
    std::memset(imageState.indexGrey, 0, sizeof imageState.indexGrey);
    for (int64_t i = 0; i < layout.paletteEntries; ++i) {
        const uint8_t* entry = bytes + i * entryBytes;  // blue, green, red[, reserved]
        imageState.indexGrey[i] = GreyLevel(entry[2], entry[1], entry[0]);
    }
}

void SetGreyRampPalette()
{
    for (int i = 0; i < kPaletteEntries; ++i) {
        auto level = static_cast<uint8_t>(i);
        imageState.palette[i] = PaletteEntry{level, level, level, 0};
    }
}

// Reads the compressed rows whole and decodes them into the pixel buffer.
void ReadRle8Rows(const BitmapLayout& layout)
{
    // An empty image is decoded too: its data may end at once or move the
    // cursor, but any pixel it sets lies outside the image.
    if (layout.pixelDataBytes > 0) {
        rle8Data =
            static_cast<uint8_t*>(PlatformAllocate(static_cast<size_t>(layout.pixelDataBytes)));
        if (rle8Data == nullptr) {
            RefuseInput(kMessageOutOfMemory);
        }
        if (!PlatformReadAt(inputHandle, layout.pixelOffset, rle8Data,
                            static_cast<size_t>(layout.pixelDataBytes))) {
            RefuseInput(kMessageTruncated);
        }
    }
    switch (DecodeRle8(rle8Data, static_cast<size_t>(layout.pixelDataBytes), imageState.pixels,
                       layout.width, layout.rows, layout.rowBytes)) {
    case Rle8Result::Complete:
        return;
    case Rle8Result::RowOverrun:
        RefuseInput(kMessageRle8RowOverrun);
    case Rle8Result::ImageOverrun:
        RefuseInput(kMessageRle8ImageOverrun);
    case Rle8Result::EndsEarly:
        RefuseInput(kMessageRle8EndsEarly);
    }
}

}  // namespace

void LoadBitmapFile(const char* path)
{
    int64_t fileBytes = 0;
    switch (PlatformOpenInput(path, &inputHandle, &fileBytes)) {
    case InputOpenResult::Opened:
        break;
    case InputOpenResult::IsDirectory:
        RefuseInput(kMessageInputIsDirectory);
    case InputOpenResult::NotRegularFile:
        RefuseInput(kMessageInputNotRegular);
    case InputOpenResult::CannotOpen:
        RefuseInput(kMessageInputFailed);
    }

    uint8_t headers[kHeaderReadBytes] = {};
    int64_t headerBytes = fileBytes < kHeaderReadBytes ? fileBytes : kHeaderReadBytes;
    if (!PlatformReadAt(inputHandle, 0, headers, static_cast<size_t>(headerBytes))) {
        RefuseInput(kMessageTruncated);
    }
    BitmapLayout layout;
    char message[kLayoutMessageBytes];
    if (const char* refusal = PlanBitmapRead(headers, fileBytes, &layout, message)) {
        RefuseInput(refusal);
    }
    ReadIndexGrey(layout);

    imageState.width = layout.width;
    imageState.height = layout.height;
    imageState.bitCount = layout.bitCount;
    imageState.palette = static_cast<PaletteEntry*>(PlatformAllocate(kPaletteBytes));
    // An empty image still gets a buffer: an absent one means "nothing
    // loaded" to the writer.
    size_t imageBytes = static_cast<size_t>(layout.imageBytes);
    imageState.pixels = static_cast<uint8_t*>(PlatformAllocate(imageBytes > 0 ? imageBytes : 1));
    if (imageState.palette == nullptr || imageState.pixels == nullptr) {
        RefuseInput(kMessageOutOfMemory);
    }
    SetGreyRampPalette();
    if (layout.rle8) {
        ReadRle8Rows(layout);
    } else if (!PlatformReadAt(inputHandle, layout.pixelOffset, imageState.pixels, imageBytes)) {
        RefuseInput(kMessageTruncated);
    }
    CloseInput();
    PlatformPrint(kMessageLoaded);
}
