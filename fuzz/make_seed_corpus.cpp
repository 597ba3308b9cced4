// make_seed_corpus FOLDER: writes the fuzzer's starting inputs, one valid
// BMP per variant the reader accepts. The fuzzer mutates from these, so each
// variant is a door into one branch of the reader; a new kind of input the
// reader learns gets a new row in kSeeds.
#include <cstdio>
#include <functional>
#include <string>

#include "support/bmp_builder.h"
#include "support/bmp_variants.h"

namespace {

struct Seed {
    const char* name;
    std::function<Bytes()> file;
};

// Pixel values that sweep all four bands whatever the size.
uint8_t Sweep(int x, int y)
{
    return static_cast<uint8_t>(29 * x + 71 * y);
}

BmpLayout Plain(int32_t width, int32_t height)
{
    int32_t rows = height < 0 ? -height : height;
    return BmpLayout{.width = width,
                     .height = height,
                     .palette = GreyRampPalette(),
                     .rows = MakeRows(width, rows, Sweep)};
}

template <typename Change>
std::function<Bytes()> Varied(int32_t width, int32_t height, Change change)
{
    return [=] {
        BmpLayout layout = Plain(width, height);
        change(layout);
        return BuildBmp(layout);
    };
}

std::function<Bytes()> Sized(int32_t width, int32_t height)
{
    return [=] { return BuildBmp(Plain(width, height)); };
}

// A palette of `entries` greys, declared as such by the colours-used field.
std::function<Bytes()> ShortPalette(int32_t width, int32_t height, int entries)
{
    return Varied(width, height, [=](BmpLayout& layout) {
        layout.coloursUsed = static_cast<uint32_t>(entries);
        layout.palette = GreyRampPalette(entries);
    });
}

Bytes ColourfulPalette()
{
    Bytes palette;
    for (int i = 0; i < 256; ++i) {
        palette.insert(palette.end(), {uint8_t(255 - i), uint8_t(i * 7), uint8_t(i), 0x7F});
    }
    return palette;
}

const Seed kSeeds[] = {
    // Sizes, odd widths (every row padded), single rows and columns.
    {"1x1", Sized(1, 1)},
    {"2x2", Sized(2, 2)},
    {"3x5", Sized(3, 5)},
    {"13x7", Sized(13, 7)},
    {"64x1", Sized(64, 1)},
    {"1x64", Sized(1, 64)},
    {"33x17", Sized(33, 17)},
    {"empty-width", Sized(0, 4)},
    {"empty-height", Sized(4, 0)},
    {"top-down", Sized(6, -4)},
    // Palettes: short ones (colours used), one cut short by the pixel
    // offset, and one that is not grey.
    {"palette-16", ShortPalette(5, 3, 16)},
    {"palette-2", ShortPalette(9, 2, 2)},
    {"palette-cut", Varied(5, 3, [](BmpLayout& s) { s.palette = GreyRampPalette(100); })},
    {"palette-colourful", Varied(7, 3, [](BmpLayout& s) { s.palette = ColourfulPalette(); })},
    // Longer information headers.
    {"v4-header", Varied(5, 3, [](BmpLayout& s) { s.infoSize = 108; })},
    {"v5-header", Varied(5, 3, [](BmpLayout& s) { s.infoSize = 124; })},
    {"v5-top-down", Varied(3, -3, [](BmpLayout& s) { s.infoSize = 124; })},
    // Gaps between palette and rows, aligned or not.
    {"gap-10", Varied(5, 3, [](BmpLayout& s) { s.gapBeforePixels = 10; })},
    {"gap-odd", Varied(6, 2, [](BmpLayout& s) { s.gapBeforePixels = 3; })},
    {"trailing-bytes", Varied(4, 2, [](BmpLayout& s) { s.rows.resize(s.rows.size() + 5, 0x55); })},
    // Run-length data: runs, a literal, an early end of line, a delta and
    // the end of the bitmap before the last pixels (they stay index 0).
    {"rle8",
     [] {
         return BuildRle8Bmp(
             6, 3,
             Rle8Stream({Rle8Run(6, 10), Rle8EndOfLine(), Rle8Literal({1, 2, 3, 200, 201}),
                         Rle8EndOfLine(), Rle8Delta(2, 0), Rle8Run(2, 99), Rle8EndOfBitmap()}));
     }},
    // The OS/2 core header: 16-bit sizes, three-byte palette entries.
    {"os2-core",
     [] {
         return BuildCoreBmp({.width = 5,
                              .height = 3,
                              .palette = GreyRampPalette3(),
                              .rows = MakeRows(5, 3, Sweep)});
     }},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seed_corpus FOLDER\n");
        return 2;
    }
    for (const Seed& seed : kSeeds) {
        std::string path = std::string(argv[1]) + "/" + seed.name + ".bmp";
        try {
            WriteFileBytes(path, seed.file());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "make_seed_corpus: %s\n", error.what());
            return 1;
        }
    }
    return 0;
}
