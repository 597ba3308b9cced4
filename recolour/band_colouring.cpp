#include "band_colouring.h"

#include <bit>
#include <cstring>

#include "platform.h"

namespace {
// Four is used twice, for two reasons that happen to agree: the number of
// palette entries that get a random colour, and the number of grey bands.
constexpr int32_t kColouredEntries = 4;

// Equal bands of 0-255 are the top bits of the value: two bits for four.
static_assert(std::has_single_bit(static_cast<uint32_t>(kBandLevels)) && kBandLevels <= 256,
              "bands are the top bits of a grey level only for a power of two");
constexpr int kBandBits = std::countr_zero(static_cast<uint32_t>(kBandLevels));
constexpr int kTopBitsShift = 8 - kBandBits;
// The band bits at the bottom of every byte of a 64-bit word.
constexpr uint64_t kBandBitsOfEachByte = 0x0101010101010101 * (kBandLevels - 1);

// True when every value's band is its top two bits: the grey-ramp palette
// of nearly every 8-bit greyscale image.
bool BandsAreTopBits(const uint8_t* band)
{
    for (int value = 0; value < kPaletteEntries; ++value) {
        if (band[value] != value >> kTopBitsShift) {
            return false;
        }
    }
    return true;
}

}  // namespace

// The top-bits bands eight pixels at a time: shifting a 64-bit word moves
// each byte's top bits to its bottom, and the mask drops what slid in
// from the neighbouring byte. Which byte is which in the word does not
// matter, so this holds for either byte order. Several times the speed of
// a table look-up per byte, and the pass is a good part of a save's time.
void MapGreyLevelsToBands(uint8_t* pixels, int64_t count)
{
    int64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        std::memcpy(&word, pixels + i, sizeof word);
        word = (word >> kTopBitsShift) & kBandBitsOfEachByte;
        std::memcpy(pixels + i, &word, sizeof word);
    }
    for (; i < count; ++i) {
        pixels[i] = static_cast<uint8_t>(pixels[i] >> kTopBitsShift);
    }
}

void RandomBytes(int32_t* bytes, int32_t count)
{
    PlatformRandomRun(bytes, count);
    for (int32_t i = 0; i < count; ++i) {
        bytes[i] %= 256;
    }
}

void SetPaletteEntry(PaletteEntry* palette, int32_t index, int32_t red, int32_t green, int32_t blue)
{
    palette[index].blue = static_cast<uint8_t>(blue);
    palette[index].green = static_cast<uint8_t>(green);
    palette[index].red = static_cast<uint8_t>(red);
    palette[index].reserved = 0;
}

int32_t BandIndex(int32_t value, int32_t levels)
{
    // value / 256 * levels in double precision: exact for 0-255 and 4
    // levels, where it equals value / 64.
    return static_cast<int32_t>(value * 0.00390625 * levels);
}

void ColourBands(ImageState* image, const uint8_t* colours, uint8_t* pixels, int32_t height,
                 int32_t rowBytes)
{
    // Red, green, blue per entry, drawn in that order. An image without a
    // palette still draws, so the sequence stays the same.
    int32_t channels[kChosenColoursBytes];
    static_assert(kChosenColoursBytes == kColouredEntries * 3);
    if (colours != nullptr) {
        for (int32_t i = 0; i < kChosenColoursBytes; ++i) {
            channels[i] = colours[i];
        }
    } else {
        RandomBytes(channels, kChosenColoursBytes);
    }
    for (int32_t index = 0; index < kColouredEntries && image->palette != nullptr; ++index) {
        int32_t red = index * 3;
        SetPaletteEntry(image->palette, index, channels[red], channels[red + 1], channels[red + 2]);
    }
    int64_t count = static_cast<int64_t>(height) * rowBytes;
    if (count <= 0) {
        return;
    }
    // One table per call turns the per-byte work into a single look-up.
    uint8_t band[kPaletteEntries];
    for (int value = 0; value < kPaletteEntries; ++value) {
        band[value] = static_cast<uint8_t>(BandIndex(image->indexGrey[value], kBandLevels));
    }
    if (BandsAreTopBits(band)) {
        MapGreyLevelsToBands(pixels, count);
        return;
    }
    for (int64_t i = 0; i < count; ++i) {
        pixels[i] = band[pixels[i]];
    }
}

void ApplyColourBands(uint8_t* pixels, int32_t height, int32_t rowBytes)
{
    ColourBands(&imageState, nullptr, pixels, height, rowBytes);
}
