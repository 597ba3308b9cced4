#include "malformed_corpus.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "bmp_variants.h"
#include "expected_messages.h"

namespace {

using namespace expected_messages;

// 3 x 2 pixels, rows padded to 4 bytes: 14 + 40 + 1024 + 8 = 1086 bytes.
BmpLayout PlainLayout()
{
    BmpLayout layout;
    layout.width = 3;
    layout.height = 2;
    layout.palette = GreyRampPalette();
    layout.rows = MakeRows(3, 2, [](int x, int y) { return 80 * x + y; });
    return layout;
}

Bytes Plain()
{
    return BuildBmp(PlainLayout());
}

Bytes PlainWith(void (*change)(BmpLayout&))
{
    BmpLayout layout = PlainLayout();
    change(layout);
    return BuildBmp(layout);
}

Bytes Cut(Bytes bytes, size_t keep)
{
    bytes.resize(keep);
    return bytes;
}

Bytes Patch16(Bytes bytes, size_t offset, uint16_t value)
{
    PutLe16(bytes, offset, value);
    return bytes;
}

Bytes Patch32(Bytes bytes, size_t offset, uint32_t value)
{
    PutLe32(bytes, offset, value);
    return bytes;
}

// Offsets of the fields patched below.
constexpr size_t kPixelOffsetField = 10;
constexpr size_t kInfoSizeField = 14;
constexpr size_t kWidthField = 18;
constexpr size_t kHeightField = 22;
constexpr size_t kPlanesField = 26;
constexpr size_t kBitCountField = 28;
constexpr size_t kCompressionField = 30;
constexpr size_t kColoursUsedField = 46;

// 3 x 2, OS/2 core header: 14 + 12 + 768 + 8 = 802 bytes.
Bytes Core()
{
    CoreBmpLayout layout;
    layout.width = 3;
    layout.height = 2;
    layout.palette = GreyRampPalette3();
    layout.rows = MakeRows(3, 2, [](int x, int) { return 90 * x; });
    return BuildCoreBmp(layout);
}

Bytes Rle8(std::initializer_list<Bytes> commands, int32_t width = 3, int32_t height = 2)
{
    return BuildRle8Bmp(width, height, Rle8Stream(commands));
}

// A valid 3 x 2 stream: a run, end of line, a literal, end of bitmap.
Bytes ValidRle8()
{
    return Rle8({Rle8Run(3, 200), Rle8EndOfLine(), Rle8Literal({10, 100, 250}), Rle8EndOfBitmap()});
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

}  // namespace

std::vector<MalformedFile> MalformedCorpus()
{
    std::vector<MalformedFile> corpus;
    auto add = [&](const std::string& kind, const std::string& name, Bytes bytes,
                   const std::string& message) {
        corpus.push_back({kind, kind + "-" + name, std::move(bytes), message, ""});
    };

    // Cut at every structural boundary, and inside each structure.
    add("truncated", "empty", {}, kNotBmp);
    add("truncated", "in-signature", Cut(Plain(), 1), kNotBmp);
    add("truncated", "after-signature", Cut(Plain(), 2), kTruncated);
    add("truncated", "in-file-header", Cut(Plain(), 10), kTruncated);
    add("truncated", "after-file-header", Cut(Plain(), 14), kTruncated);
    add("truncated", "in-header-size", Cut(Plain(), 16), kTruncated);
    add("truncated", "after-header-size", Cut(Plain(), 18), kTruncated);
    add("truncated", "in-info-header", Cut(Plain(), 40), kTruncated);
    add("truncated", "after-info-header", Cut(Plain(), 54), kTruncated);
    add("truncated", "in-palette", Cut(Plain(), 600), kTruncated);
    add("truncated", "after-palette", Cut(Plain(), 1078), kTruncated);
    add("truncated", "in-rows", Cut(Plain(), 1082), kTruncated);
    add("truncated", "last-byte", Cut(Plain(), 1085), kTruncated);
    add("truncated", "in-core-header", Cut(Core(), 20), kTruncated);
    add("truncated", "in-core-palette", Cut(Core(), 400), kTruncated);
    add("truncated", "in-core-rows", Cut(Core(), 798), kTruncated);

    add("signature", "ba", Patch16(Plain(), 0, 'B' | 'A' << 8), kNotBmp);
    add("signature", "lower-case", Patch16(Plain(), 0, 'b' | 'm' << 8), kNotBmp);
    add("signature", "swapped", Patch16(Plain(), 0, 'M' | 'B' << 8), kNotBmp);
    add("signature", "pm", Patch16(Plain(), 0, 'P' | 'M' << 8), kNotBmp);
    add("signature", "png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, kNotBmp);
    corpus.back().commandLineMessage = "PNG file is truncated\n";
    // Damaged files of the other formats the command line decodes itself:
    // the library still sees no BMP in them.
    auto addOther = [&](const std::string& name, const std::string& bytes,
                        const std::string& commandLineMessage) {
        add("other-format", name, Bytes(bytes.begin(), bytes.end()), kNotBmp);
        corpus.back().commandLineMessage = commandLineMessage;
    };
    addOther(
        "png-bad-crc",
        std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x04\0\0\0\x04\x08\0\0\0\0\0\0\0\0", 33),
        "PNG file is damaged: invalid chunk checksum\n");
    addOther("tiff-cut", std::string("II*\0\x08\0\0\0\x01\0", 10), "TIFF file is truncated\n");
    addOther("jpeg-cut",
             std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0\xFF\xDB", 22),
             "JPEG file is truncated\n");
    addOther("jpeg-no-image", "\xFF\xD8\xFF\xD9",
             "JPEG file is damaged: JPEG datastream contains no image\n");
    addOther("pgm-cut", "P5\n5 3\n255\nabc", "PNM file is truncated\n");
    addOther("pgm-maxval-0", "P5\n2 1\n0\nab", "PNM file is damaged: maxval is not 1 to 65535\n");

    add("header-size", "0", Patch32(Plain(), kInfoSizeField, 0), kHeaderTooSmall);
    add("header-size", "11", Patch32(Plain(), kInfoSizeField, 11), kHeaderTooSmall);
    add("header-size", "13", Patch32(Plain(), kInfoSizeField, 13), kHeaderTooSmall);
    add("header-size", "39", Patch32(Plain(), kInfoSizeField, 39), kHeaderTooSmall);
    add("header-size", "past-end", Patch32(Plain(), kInfoSizeField, 2000), kTruncated);
    add("header-size", "FFFFFFFF", Patch32(Plain(), kInfoSizeField, 0xFFFFFFFF), kTruncated);

    add("planes", "0", Patch16(Plain(), kPlanesField, 0), PlanesRefusal(0));
    add("planes", "2", Patch16(Plain(), kPlanesField, 2), PlanesRefusal(2));
    add("planes", "FFFF", Patch16(Plain(), kPlanesField, 0xFFFF), PlanesRefusal(0xFFFF));
    add("planes", "core-0", Patch16(Core(), 22, 0), PlanesRefusal(0));

    for (int bits : {0, 1, 4, 16, 24, 32}) {
        add("depth", std::to_string(bits),
            Patch16(Plain(), kBitCountField, static_cast<uint16_t>(bits)), DepthRefusal(bits));
    }
    add("depth", "core-24", Patch16(Core(), 24, 24), DepthRefusal(24));

    for (uint32_t compression : {2u, 3u, 4u, 5u, 0xFFFFFFFFu}) {
        add("compression", Hex(compression), Patch32(Plain(), kCompressionField, compression),
            CompressionRefusal(compression));
    }

    add("width", "negative", Patch32(Plain(), kWidthField, static_cast<uint32_t>(-1)),
        kNegativeWidth);
    add("width", "INT32_MIN", Patch32(Plain(), kWidthField, 0x80000000u), kNegativeWidth);
    add("width", "INT32_MAX", Patch32(Plain(), kWidthField, INT32_MAX), kTooLarge);
    add("height", "INT32_MIN", Patch32(Plain(), kHeightField, 0x80000000u), kTooLarge);
    add("height", "INT32_MAX", Patch32(Plain(), kHeightField, INT32_MAX), kTooLarge);
    add("height", "minus-INT32_MAX", Patch32(Plain(), kHeightField, 0x80000001u), kTooLarge);
    add("height", "huge-top-down",
        Patch32(Plain(), kHeightField, static_cast<uint32_t>(-600000000)), kTooLarge);
    // Three rows declared, two in the file.
    add("height", "more-rows-than-file", Patch32(Plain(), kHeightField, 3), kTruncated);

    // Empty images are read, but not when they claim data they lack or set
    // pixels they do not have.
    add("zero-size", "width-0-offset-past-end",
        Patch32(PlainWith([](BmpLayout& s) {
                    s.width = 0;
                    s.rows.clear();
                }),
                kPixelOffsetField, 2000),
        kTruncated);
    add("zero-size", "width-0-rle8-pixels", Rle8({Rle8Run(1, 9)}, 0, 2), kRle8RowOverrun);
    add("zero-size", "height-0-rle8-pixels", Rle8({Rle8Run(1, 9)}, 3, 0), kRle8ImageOverrun);

    // Width x height products that wrap in 32-bit arithmetic.
    auto sized = [](uint32_t width, uint32_t height) {
        return Patch32(Patch32(Plain(), kWidthField, width), kHeightField, height);
    };
    add("overflow", "65536-squared", sized(65536, 65536), kTooLarge);
    add("overflow", "65537-squared", sized(65537, 65537), kTooLarge);
    add("overflow", "wide-times-4", sized(0x40000001, 4), kTooLarge);
    add("overflow", "rle8-20000-squared",
        Patch32(Patch32(ValidRle8(), kWidthField, 20000), kHeightField, 20000), kTooLarge);

    add("palette", "257", Patch32(Plain(), kColoursUsedField, 257), kPaletteTooLarge);
    add("palette", "65536", Patch32(Plain(), kColoursUsedField, 65536), kPaletteTooLarge);
    add("palette", "FFFFFFFF", Patch32(Plain(), kColoursUsedField, 0xFFFFFFFF), kPaletteTooLarge);

    add("offset", "0", Patch32(Plain(), kPixelOffsetField, 0), kBadPixelOffset);
    add("offset", "in-file-header", Patch32(Plain(), kPixelOffsetField, 10), kBadPixelOffset);
    add("offset", "in-info-header", Patch32(Plain(), kPixelOffsetField, 53), kBadPixelOffset);
    add("offset", "past-end", Patch32(Plain(), kPixelOffsetField, 5000), kTruncated);
    add("offset", "2GiB", Patch32(Plain(), kPixelOffsetField, 0x80000000u), kBadPixelOffset);
    add("offset", "near-4GiB", Patch32(Plain(), kPixelOffsetField, 0xFFFFFFF0u), kBadPixelOffset);
    add("offset", "FFFFFFFF", Patch32(Plain(), kPixelOffsetField, 0xFFFFFFFFu), kBadPixelOffset);
    add("offset", "rle8-past-end", Patch32(ValidRle8(), kPixelOffsetField, 5000), kTruncated);

    add("rle8-top-down", "minus-2", Patch32(ValidRle8(), kHeightField, static_cast<uint32_t>(-2)),
        kTopDownRle8);

    // Rows are 4 bytes long, padding included.
    add("rle8-row-overrun", "run", Rle8({Rle8Run(5, 1)}), kRle8RowOverrun);
    add("rle8-row-overrun", "second-run", Rle8({Rle8Run(3, 1), Rle8Run(2, 1)}), kRle8RowOverrun);
    add("rle8-row-overrun", "literal", Rle8({Rle8Literal({1, 2, 3, 4, 5})}), kRle8RowOverrun);
    add("rle8-row-overrun", "delta", Rle8({Rle8Run(1, 1), Rle8Delta(4, 0)}), kRle8RowOverrun);

    add("rle8-image-overrun", "run-after-last-row",
        Rle8({Rle8EndOfLine(), Rle8EndOfLine(), Rle8Run(1, 1)}), kRle8ImageOverrun);
    add("rle8-image-overrun", "literal-after-last-row",
        Rle8({Rle8Delta(0, 2), Rle8Literal({1, 2, 3})}), kRle8ImageOverrun);
    add("rle8-image-overrun", "delta-down", Rle8({Rle8Delta(0, 3)}), kRle8ImageOverrun);
    add("rle8-image-overrun", "end-of-line-past-image",
        Rle8({Rle8EndOfLine(), Rle8EndOfLine(), Rle8EndOfLine()}), kRle8ImageOverrun);

    add("rle8-ends-early", "no-last-row", Rle8({Rle8Run(3, 1), Rle8EndOfLine()}), kRle8EndsEarly);
    add("rle8-ends-early", "literal-cut", Cut(ValidRle8(), ValidRle8().size() - 4), kRle8EndsEarly);
    add("rle8-ends-early", "delta-cut", Rle8({Rle8Run(3, 1), Bytes{0, 2, 1}}), kRle8EndsEarly);
    add("rle8-ends-early", "odd-byte", Rle8({Rle8Run(3, 1), Bytes{7}}), kRle8EndsEarly);

    // A few bytes of data cannot stand for a 100-million-pixel image.
    add("rle8-too-short", "no-data", Rle8({}), kRle8TooShort);
    add("rle8-too-short", "10000-squared",
        Patch32(Patch32(ValidRle8(), kWidthField, 10000), kHeightField, 10000), kRle8TooShort);
    return corpus;
}

std::string CorpusTestName(const MalformedFile& file)
{
    std::string out;
    for (char c : file.name) {
        out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return out;
}

void PrintTo(const MalformedFile& file, std::ostream* out)
{
    *out << file.name;
}
