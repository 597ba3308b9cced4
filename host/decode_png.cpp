// PNG through libspng: the samples as the file holds them (SPNG_FMT_PNG: no
// gamma, no transparency, no background applied), made grey here.
#include <spng.h>

#include <cstring>
#include <memory>
#include <string>

#include "image_decoding.h"

namespace {

struct ContextRelease {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextRelease>;

// Ancillary chunks (text, profiles) are kept in memory until the image is
// read: no more than this of them, whatever the file claims.
constexpr size_t kMaxAncillaryBytes = size_t{64} << 20;

DecodeResult Refusal(int error)
{
    switch (error) {
    case SPNG_IO_EOF:
    case SPNG_EOF:
    case SPNG_EIDAT_TOO_SHORT:
        return Malformed("PNG file is truncated");
    case SPNG_EMEM:
        return OutOfMemory();
    case SPNG_EUSER_WIDTH:
    case SPNG_EUSER_HEIGHT:
    case SPNG_ECHUNK_LIMITS:
        return Unsupported("PNG image is too large");
    case SPNG_ESIGNATURE:
        return Malformed("not a PNG file: bad signature");
    default:
        return Malformed(std::string("PNG file is damaged: ") + spng_strerror(error));
    }
}

// Samples of one pixel.
uint32_t ChannelsOf(uint8_t colourType)
{
    switch (colourType) {
    case SPNG_COLOR_TYPE_TRUECOLOR:
        return 3;
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
        return 2;
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
        return 4;
    default:
        return 1;
    }
}

void MakeGrey(const spng_ihdr& header, const spng_plte& palette, const uint8_t* samples,
              size_t rowBytes, GreyImage* image)
{
    const uint32_t depth = header.bit_depth;
    const uint32_t channels = ChannelsOf(header.color_type);
    uint8_t* out = image->pixels.data();
    for (uint32_t y = 0; y < header.height; ++y) {
        const uint8_t* row = samples + y * rowBytes;
        for (uint64_t x = 0; x < header.width; ++x) {
            uint64_t first = x * channels;
            switch (header.color_type) {
            case SPNG_COLOR_TYPE_INDEXED: {
                // An index the palette does not describe counts as black.
                uint32_t index = SampleAt(row, x, depth);
                const spng_plte_entry* entry =
                    index < palette.n_entries ? &palette.entries[index] : nullptr;
                *out++ = entry == nullptr ? 0 : LumaOf(entry->red, entry->green, entry->blue);
                break;
            }
            case SPNG_COLOR_TYPE_TRUECOLOR:
            case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
                *out++ = LumaOf(EightBit(SampleAt(row, first, depth), depth),
                                EightBit(SampleAt(row, first + 1, depth), depth),
                                EightBit(SampleAt(row, first + 2, depth), depth));
                break;
            default:  // grey, with or without alpha
                *out++ = EightBit(SampleAt(row, first, depth), depth);
                break;
            }
        }
    }
}

}  // namespace

DecodeResult DecodePng(std::span<const uint8_t> file, GreyImage* image)
{
    Context context(spng_ctx_new(0));
    if (context == nullptr) {
        return OutOfMemory();
    }
    spng_ctx* png = context.get();
    spng_set_chunk_limits(png, kMaxAncillaryBytes, kMaxAncillaryBytes);
    if (int error = spng_set_png_buffer(png, file.data(), file.size()); error != 0) {
        return Refusal(error);
    }
    spng_ihdr header{};
    if (int error = spng_get_ihdr(png, &header); error != 0) {
        return Refusal(error);
    }
    uint64_t sampleBytes =
        uint64_t{ChannelsOf(header.color_type)} * (header.bit_depth == 16 ? 2 : 1);
    if (!DimensionsAreReadable(header.width, header.height, sampleBytes)) {
        return Unsupported("PNG image is too large");
    }
    spng_plte palette{};
    if (header.color_type == SPNG_COLOR_TYPE_INDEXED) {
        if (int error = spng_get_plte(png, &palette); error != 0) {
            return error == SPNG_ECHUNKAVAIL ? Malformed("PNG palette image has no palette")
                                             : Refusal(error);
        }
    }
    size_t decodedBytes = 0;
    if (int error = spng_decoded_image_size(png, SPNG_FMT_PNG, &decodedBytes); error != 0) {
        return Refusal(error);
    }
    if (!CompressedCanHold(file.size(), decodedBytes, kDeflateMaxRatio)) {
        return Malformed("PNG file is truncated");
    }
    std::unique_ptr<uint8_t[]> samples(new uint8_t[decodedBytes]);
    if (int error = spng_decode_image(png, samples.get(), decodedBytes, SPNG_FMT_PNG, 0);
        error != 0) {
        return Refusal(error);
    }
    image->width = header.width;
    image->height = header.height;
    image->pixels.resize(static_cast<size_t>(header.width) * header.height);
    MakeGrey(header, palette, samples.get(), decodedBytes / header.height, image);
    return {};
}
