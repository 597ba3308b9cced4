#include <cstdio>
#include <cstring>

#include "bitmap_file.h"
#include "bitmap_format.h"
#include "byte_order.h"
#include "call_failure.h"
#include "messages.h"
#include "platform.h"

namespace {

PlatformHandle inputHandle = kNoPlatformHandle;

// Refuses the input: nothing of it stays allocated or open.
[[noreturn]] void RefuseInput(const char* message)
{
    PlatformCloseInput(inputHandle);
    inputHandle = kNoPlatformHandle;
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
void ReadIndexGrey(int64_t paletteOffset, int64_t entries)
{
    uint8_t bytes[kPaletteBytes];
    if (!PlatformReadAt(inputHandle, paletteOffset, bytes, static_cast<size_t>(entries * 4))) {
        RefuseInput(kMessageTruncated);
    }
    std::memset(imageState.indexGrey, 0, sizeof imageState.indexGrey);
    for (int64_t i = 0; i < entries; ++i) {
        const uint8_t* entry = bytes + i * 4;  // blue, green, red, reserved
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

    uint8_t headers[kHeadersBytes] = {};
    if (fileBytes < 2 || !PlatformReadAt(inputHandle, 0, headers, 2) ||
        ReadLe16(headers + kFieldType) != kBitmapSignature) {
        RefuseInput(kMessageNotBmp);
    }
    if (fileBytes < kHeadersBytes || !PlatformReadAt(inputHandle, 0, headers, kHeadersBytes)) {
        RefuseInput(kMessageTruncated);
    }
    const uint8_t* info = headers + kFileHeaderBytes;
    int64_t infoBytes = ReadLe32(info + kFieldInfoSize);
    if (infoBytes < kInfoHeaderBytes) {
        RefuseInput(kMessageHeaderTooSmall);
    }
    int32_t width = ReadLeSigned32(info + kFieldWidth);
    int32_t height = ReadLeSigned32(info + kFieldHeight);
    int32_t bitCount = ReadLe16(info + kFieldBitCount);
    uint32_t compression = ReadLe32(info + kFieldCompression);
    int64_t paletteEntries = ReadLe32(info + kFieldColoursUsed);
    int64_t pixelOffset = ReadLe32(headers + kFieldPixelOffset);

    char message[128];
    if (bitCount != 8) {
        std::snprintf(message, sizeof message, kMessageDepthFormat, bitCount);
        RefuseInput(message);
    }
    if (compression != kCompressionNone) {
        std::snprintf(message, sizeof message, kMessageCompressionFormat, compression);
        RefuseInput(message);
    }
    if (width < 0) {
        RefuseInput(kMessageNegativeWidth);
    }
    // A negative height is the format's top-down layout; |INT32_MIN| has no
    // 32-bit counterpart to write back, so it is refused as too large.
    if (height == INT32_MIN) {
        RefuseInput(kMessageTooLarge);
    }
    int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    int64_t rowBytes = RowBytes(width, bitCount);
    int64_t imageBytes = rowBytes * rows;  // below 2^62: no overflow
    if (kHeadersBytes + kPaletteBytes + imageBytes > kMaxFileBytes) {
        RefuseInput(kMessageTooLarge);
    }
    // 0 colours used means the full 256 for an 8-bit image.
    if (paletteEntries == 0) {
        paletteEntries = kPaletteEntries;
    }
    if (paletteEntries > kPaletteEntries) {
        RefuseInput(kMessagePaletteTooLarge);
    }
    // The palette follows the information header, whatever its version; the
    // rows start where the file header says, which may leave a gap or cut a
    // declared palette short.
    int64_t paletteOffset = kFileHeaderBytes + infoBytes;
    if (paletteOffset > fileBytes) {
        RefuseInput(kMessageTruncated);
    }
    if (pixelOffset < paletteOffset || pixelOffset > kMaxFileBytes) {
        RefuseInput(kMessageBadPixelOffset);
    }
    if (pixelOffset + imageBytes > fileBytes) {
        RefuseInput(kMessageTruncated);
    }
    int64_t paletteRoom = (pixelOffset - paletteOffset) / 4;
    ReadIndexGrey(paletteOffset, paletteEntries < paletteRoom ? paletteEntries : paletteRoom);

    imageState.width = width;
    imageState.height = height;
    imageState.bitCount = bitCount;
    imageState.palette = static_cast<PaletteEntry*>(PlatformAllocate(kPaletteBytes));
    // An empty image still gets a buffer: an absent one means "nothing
    // loaded" to the writer.
    imageState.pixels = static_cast<uint8_t*>(
        PlatformAllocate(imageBytes > 0 ? static_cast<size_t>(imageBytes) : 1));
    if (imageState.palette == nullptr || imageState.pixels == nullptr) {
        RefuseInput(kMessageOutOfMemory);
    }
    SetGreyRampPalette();
    if (!PlatformReadAt(inputHandle, pixelOffset, imageState.pixels,
                        static_cast<size_t>(imageBytes))) {
        RefuseInput(kMessageTruncated);
    }
    PlatformCloseInput(inputHandle);
    inputHandle = kNoPlatformHandle;
    PlatformPrint(kMessageLoaded);
}
