// TIFF through libtiff, read from memory: the first image's samples strip by
// strip or tile by tile (TIFFReadEncodedStrip/Tile, never TIFFRGBAImage,
// which premultiplies alpha), made grey here by the rules of grey_image.h.
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "image_decoding.h"

namespace {

// The file as libtiff reads it. A read that runs past the end is noted: a
// failure after one is taken as the file ending early (an offset beyond the
// end cannot be told from a cut file).
struct MemoryFile {
    std::span<const uint8_t> bytes;
    uint64_t position = 0;
    bool readPastEnd = false;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    uint64_t left = file->position < file->bytes.size() ? file->bytes.size() - file->position : 0;
    uint64_t wanted = size > 0 ? static_cast<uint64_t>(size) : 0;
    uint64_t count = std::min(wanted, left);
    file->readPastEnd = file->readPastEnd || count < wanted;
    if (count > 0) {
        std::memcpy(buffer, file->bytes.data() + file->position, count);
        file->position += count;
    }
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t)
{
    return -1;  // opened for reading only
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence)
{
    // Reading, libtiff seeks from the start only.
    if (whence != SEEK_SET || offset > INT64_MAX) {
        return static_cast<toff_t>(-1);
    }
    static_cast<MemoryFile*>(handle)->position = offset;
    return offset;
}

int CloseProc(thandle_t)
{
    return 0;
}

toff_t SizeProc(thandle_t handle)
{
    return static_cast<MemoryFile*>(handle)->bytes.size();
}

// libtiff's first error of this decode, kept for the reason given; later
// errors follow from it. Returning 1 keeps the default handlers, which print,
// from seeing it.
using FirstError = std::array<char, 200>;

int KeepFirstError(TIFF*, void* userData, const char*, const char* format, va_list arguments)
{
    auto* error = static_cast<FirstError*>(userData);
    if ((*error)[0] == '\0') {
        std::vsnprintf(error->data(), error->size(), format, arguments);
    }
    return 1;
}

DecodeResult Refusal(const MemoryFile& file, const FirstError& error)
{
    if (file.readPastEnd) {
        return Malformed("TIFF file is truncated");
    }
    // Some messages begin with the name the file was opened under.
    std::string_view text(error.data(), std::strcspn(error.data(), "\r\n"));
    if (text.starts_with("TIFF: ")) {
        text.remove_prefix(6);
    }
    return Malformed("TIFF file is damaged: " + std::string(text.empty() ? "unreadable" : text));
}

uint16_t Field16(TIFF* tiff, uint32_t tag)
{
    uint16_t value = 0;
    TIFFGetFieldDefaulted(tiff, tag, &value);
    return value;
}

// The compressions read, by the most bytes of samples one byte of the file
// can become (0: not read), so that a file too short for its image is told
// before any memory is asked for. PackBits repeats a byte 128 times for
// two. An LZW code's string is at most a byte longer than the last one's
// and 3839 bytes long, and libtiff takes 4861 codes between clears at most:
// under 1640 bytes a byte. Each 8 x 8 block of a JPEG component takes a
// bit. Fax, LZMA, Zstandard, WebP, JBIG and others have no such bound.
uint64_t MaxRatio(uint16_t compression)
{
    switch (compression) {
    case COMPRESSION_NONE:
        return 1;
    case COMPRESSION_PACKBITS:
        return 64;
    case COMPRESSION_LZW:
        return 1640;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return kDeflateMaxRatio;
    case COMPRESSION_JPEG:
        return 512;
    default:
        return 0;
    }
}

enum class Colour { Grey, Palette, Rgb };

// How the first image's samples are laid out, as far as greys need it.
struct Layout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t depth = 0;            // bits a sample
    uint32_t samplesPerPixel = 0;  // extra samples (alpha) included
    bool separatePlanes = false;
    uint64_t maxRatio = 0;  // of the compression
    Colour colour = Colour::Grey;
    bool whiteIsZero = false;
    std::array<uint8_t, 256> paletteGreys{};  // by index
};

DecodeResult DepthRefused(uint32_t depth)
{
    return Unsupported("TIFF depth is not supported: " + std::to_string(depth) + "-bit samples");
}

// A palette's greys: 16-bit colour map entries by their top eight bits,
// then luma, as Pillow reads them.
DecodeResult ReadPaletteGreys(TIFF* tiff, Layout* layout)
{
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) != 1) {
        return Malformed("TIFF file is damaged: a palette image without a colour map");
    }
    for (uint32_t index = 0; index < (1u << layout->depth); ++index) {  // 2^depth entries
        layout->paletteGreys[index] =
            LumaOf(Top8(red[index]), Top8(green[index]), Top8(blue[index]));
    }
    return {};
}

DecodeResult ReadColour(TIFF* tiff, uint16_t photometric, uint16_t compression, Layout* layout)
{
    const uint32_t depth = layout->depth;
    const bool lowDepth = depth == 1 || depth == 2 || depth == 4;
    layout->whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        layout->colour = Colour::Grey;
        return lowDepth || depth == 8 || depth == 16 ? DecodeResult{} : DepthRefused(depth);
    case PHOTOMETRIC_PALETTE:
        layout->colour = Colour::Palette;
        return lowDepth || depth == 8 ? ReadPaletteGreys(tiff, layout) : DepthRefused(depth);
    case PHOTOMETRIC_RGB:
        layout->colour = Colour::Rgb;
        return depth == 8 || depth == 16 ? DecodeResult{} : DepthRefused(depth);
    case PHOTOMETRIC_YCBCR:
        // libjpeg turns JPEG-compressed YCbCr into RGB, subsampling undone:
        // three samples for a block of luma, which may be all it holds.
        if (compression == COMPRESSION_JPEG && !layout->separatePlanes &&
            TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) == 1) {
            layout->colour = Colour::Rgb;
            layout->maxRatio *= 3;
            return depth == 8 ? DecodeResult{} : DepthRefused(depth);
        }
        return Unsupported("TIFF colour space is not supported: YCbCr other than JPEG-compressed");
    case PHOTOMETRIC_SEPARATED:
        return Unsupported("TIFF colour space is not supported: CMYK or other inks");
    default:
        return Unsupported("TIFF colour space is not supported: photometric " +
                           std::to_string(photometric));
    }
}

DecodeResult ReadLayout(TIFF* tiff, Layout* layout)
{
    uint16_t photometric = 0;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout->width) != 1 ||
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout->height) != 1 || layout->width == 0 ||
        layout->height == 0 || TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1) {
        return Malformed("TIFF file is damaged: no pixels, or no photometric interpretation");
    }
    uint16_t compression = Field16(tiff, TIFFTAG_COMPRESSION);
    layout->maxRatio = MaxRatio(compression);
    if (layout->maxRatio == 0 || TIFFIsCODECConfigured(compression) != 1) {
        return Unsupported("TIFF compression is not supported: scheme " +
                           std::to_string(compression));
    }
    uint16_t format = Field16(tiff, TIFFTAG_SAMPLEFORMAT);
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID) {
        bool floats = format == SAMPLEFORMAT_IEEEFP || format == SAMPLEFORMAT_COMPLEXIEEEFP;
        return Unsupported(std::string("TIFF sample format is not supported: ") +
                           (floats ? "floating point" : "signed integers"));
    }
    layout->depth = Field16(tiff, TIFFTAG_BITSPERSAMPLE);
    layout->samplesPerPixel = Field16(tiff, TIFFTAG_SAMPLESPERPIXEL);
    layout->separatePlanes = Field16(tiff, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE;
    if (DecodeResult colour = ReadColour(tiff, photometric, compression, layout); colour.Failed()) {
        return colour;
    }
    if (layout->samplesPerPixel < (layout->colour == Colour::Rgb ? 3u : 1u)) {
        return Malformed("TIFF file is damaged: too few samples a pixel");
    }
    return {};
}

// What one strip or tile holds; strips are tiles as wide as the image.
struct Chunks {
    bool tiled = false;
    uint32_t width = 0;     // pixels across
    uint32_t rows = 0;      // rows down
    uint64_t rowBytes = 0;  // bytes of one of its rows, of one plane
};

DecodeResult ReadChunks(TIFF* tiff, const Layout& layout, Chunks* chunks)
{
    chunks->tiled = TIFFIsTiled(tiff) != 0;
    if (chunks->tiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &chunks->width);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &chunks->rows);
        chunks->rowBytes = TIFFTileRowSize64(tiff);
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        chunks->width = layout.width;
        chunks->rows = std::min(rowsPerStrip, layout.height);
        chunks->rowBytes = TIFFScanlineSize64(tiff);
    }
    // As libtiff decodes it: 0 when its size overflows.
    uint64_t bytes = chunks->tiled ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff);
    if (chunks->width == 0 || chunks->rows == 0 || chunks->rowBytes == 0 || bytes == 0) {
        return Malformed("TIFF file is damaged: strips or tiles of no size");
    }
    if (bytes > kMaxDecodeBytes || bytes > SIZE_MAX) {
        return Unsupported("TIFF image is too large");
    }
    // The samples read from a row, and every row read, must lie within what
    // libtiff decodes, whatever the file claims.
    uint64_t samplesAcross =
        uint64_t{chunks->width} * (layout.separatePlanes ? 1 : layout.samplesPerPixel);
    if ((samplesAcross * layout.depth + 7) / 8 > chunks->rowBytes ||
        chunks->rows > bytes / chunks->rowBytes) {
        return Malformed("TIFF file is damaged: strips or tiles smaller than their pixels");
    }
    return {};
}

// a × b, or UINT64_MAX where that overflows.
uint64_t SaturatedProduct(uint64_t a, uint64_t b)
{
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

// Whether the file is long enough for every strip or tile it claims, each
// compressed by the layout's ratio at most. Checked before any memory is
// asked for, and before libtiff, which reads an uncompressed strip that
// claims no bytes from wherever its offset points, makes one up.
bool CanHoldChunks(uint64_t fileBytes, const Layout& layout, const Chunks& chunks)
{
    uint64_t across = (uint64_t{layout.width} + chunks.width - 1) / chunks.width;
    uint64_t rows = chunks.tiled
                        ? (uint64_t{layout.height} + chunks.rows - 1) / chunks.rows * chunks.rows
                        : layout.height;  // the last strip is stored short
    uint64_t planes = layout.separatePlanes ? layout.samplesPerPixel : 1;
    uint64_t decoded = SaturatedProduct(SaturatedProduct(across * planes, rows), chunks.rowBytes);
    return CompressedCanHold(fileBytes, decoded, layout.maxRatio);
}

// The grey of pixel `x` of a row; `rows` holds the row of each plane read
// (one when the samples are contiguous).
uint8_t GreyOf(const Layout& layout, const std::array<const uint8_t*, 3>& rows, uint64_t x)
{
    const uint32_t depth = layout.depth;
    auto sample = [&](uint32_t channel) {
        return layout.separatePlanes
                   ? SampleAt(rows[channel], x, depth)
                   : SampleAt(rows[0], x * layout.samplesPerPixel + channel, depth);
    };
    switch (layout.colour) {
    case Colour::Palette:
        return layout.paletteGreys[sample(0)];
    case Colour::Rgb:
        return LumaOf(EightBit(sample(0), depth), EightBit(sample(1), depth),
                      EightBit(sample(2), depth));
    case Colour::Grey:
        break;
    }
    uint8_t grey = EightBit(sample(0), depth);
    return layout.whiteIsZero ? static_cast<uint8_t>(255 - grey) : grey;
}

// Decodes the first `rowsIn` rows of the strip or tile of one plane at
// (`left`, `top`): a tile reaching past the image's foot is read no
// further, so that its buffer holds no more rows than the image has.
bool ReadChunk(TIFF* tiff, const Chunks& chunks, uint32_t left, uint32_t top, uint64_t rowsIn,
               uint16_t plane, uint8_t* buffer)
{
    auto size = static_cast<tmsize_t>(rowsIn * chunks.rowBytes);
    tmsize_t got =
        chunks.tiled
            ? TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, left, top, 0, plane), buffer, size)
            : TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, top, plane), buffer, size);
    return got == size;
}

DecodeResult DecodeChunks(TIFF* tiff, const MemoryFile& file, const FirstError& error,
                          const Layout& layout, const Chunks& chunks, GreyImage* image)
{
    // Separate planes: only those of the samples greys are made of.
    const uint16_t planes = layout.separatePlanes && layout.colour == Colour::Rgb ? 3 : 1;
    const uint64_t bufferBytes = chunks.rowBytes * std::min(chunks.rows, layout.height);
    std::array<std::unique_ptr<uint8_t[]>, 3> buffers;
    for (uint16_t plane = 0; plane < planes; ++plane) {
        buffers[plane] = std::make_unique_for_overwrite<uint8_t[]>(bufferBytes);
    }
    for (uint64_t top = 0; top < layout.height; top += chunks.rows) {
        const uint64_t rowsIn = std::min<uint64_t>(chunks.rows, layout.height - top);
        for (uint64_t left = 0; left < layout.width; left += chunks.width) {
            for (uint16_t plane = 0; plane < planes; ++plane) {
                if (!ReadChunk(tiff, chunks, static_cast<uint32_t>(left),
                               static_cast<uint32_t>(top), rowsIn, plane, buffers[plane].get())) {
                    return Refusal(file, error);
                }
            }
            // Claimed once samples decode: a 1-bit image may have eight
            // pixels for every byte of samples the file was checked to hold.
            image->pixels.resize(uint64_t{layout.width} * layout.height);
            const uint64_t across = std::min<uint64_t>(chunks.width, layout.width - left);
            for (uint64_t row = 0; row < rowsIn; ++row) {
                std::array<const uint8_t*, 3> rows{};
                for (uint16_t plane = 0; plane < planes; ++plane) {
                    rows[plane] = buffers[plane].get() + row * chunks.rowBytes;
                }
                uint8_t* out = image->pixels.data() + (top + row) * layout.width + left;
                for (uint64_t x = 0; x < across; ++x) {
                    out[x] = GreyOf(layout, rows, x);
                }
            }
        }
    }
    return {};
}

}  // namespace

DecodeResult DecodeTiff(std::span<const uint8_t> file, GreyImage* image)
{
    std::unique_ptr<TIFFOpenOptions, decltype(&TIFFOpenOptionsFree)> options(TIFFOpenOptionsAlloc(),
                                                                             TIFFOpenOptionsFree);
    if (options == nullptr) {
        return OutOfMemory();
    }
    FirstError error{};
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), KeepFirstError, &error);
    TIFFOpenOptionsSetWarningHandlerExtR(
        options.get(), [](TIFF*, void*, const char*, const char*, va_list) { return 1; }, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(kMaxDecodeBytes));
    MemoryFile memory{file};
    // "m": no mapping (no map procedures either), so libtiff copies what it
    // reads and never writes through the file's bytes.
    std::unique_ptr<TIFF, decltype(&TIFFClose)> tiff(
        TIFFClientOpenExt("TIFF", "rm", &memory, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                          nullptr, nullptr, options.get()),
        TIFFClose);
    if (tiff == nullptr) {
        return Refusal(memory, error);
    }
    Layout layout;
    if (DecodeResult result = ReadLayout(tiff.get(), &layout); result.Failed()) {
        return result;
    }
    uint64_t sampleBytes = (uint64_t{layout.samplesPerPixel} * layout.depth + 7) / 8;
    if (!DimensionsAreReadable(layout.width, layout.height, sampleBytes)) {
        return Unsupported("TIFF image is too large");
    }
    Chunks chunks;
    if (DecodeResult result = ReadChunks(tiff.get(), layout, &chunks); result.Failed()) {
        return result;
    }
    if (!CanHoldChunks(file.size(), layout, chunks)) {
        return Malformed("TIFF file is truncated");
    }
    image->width = layout.width;
    image->height = layout.height;
    return DecodeChunks(tiff.get(), memory, error, layout, chunks, image);
}
