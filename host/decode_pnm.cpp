// Netpbm grey and colour maps, text (P2, P3) and binary (P5, P6), read as
// Pillow's PpmImagePlugin reads them, whose results the greys must match:
//  - a comment runs from '#' through its CR or LF, anywhere in the header or
//    the text samples, and does not part the digits around it;
//  - numbers are at most 10 digits; maxval is 1 to 65535;
//  - a sample is scaled to 0-255 by round(sample / maxval * 255), rounding
//    half to even; grey maps of maxval above 255 go to 0-65535 instead
//    (Pillow's mode I) and are then taken by their top eight bits;
//  - binary samples above maxval are clamped, text ones refused;
//  - bytes after the last sample are not looked at.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "image_decoding.h"

namespace {

// Pillow's longest header or sample token.
constexpr size_t kMaxDigits = 10;

struct PnmHeader {
    bool text = false;
    uint32_t channels = 1;  // 1 grey, 3 RGB
    uint64_t width = 0;
    uint64_t height = 0;
    uint32_t maxval = 0;
};

struct TextReader {
    std::span<const uint8_t> file;
    size_t position = 0;
};

enum class TokenStatus { Number, End, TooLong, NotANumber };

struct Token {
    TokenStatus status = TokenStatus::End;
    uint64_t value = 0;
};

bool IsSpace(int byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
           byte == '\r';
}

constexpr int kEndOfFile = -1;

// The next byte of the file with comments left out, or kEndOfFile.
int NextByte(TextReader* reader)
{
    const std::span<const uint8_t> file = reader->file;
    while (reader->position < file.size()) {
        const uint8_t byte = file[reader->position++];
        if (byte != '#') {
            return byte;
        }
        while (reader->position < file.size() && file[reader->position] != '\r' &&
               file[reader->position] != '\n') {
            ++reader->position;
        }
        if (reader->position < file.size()) {
            ++reader->position;  // the line end goes with the comment
        }
    }
    return kEndOfFile;
}

// One white-space-separated decimal number; the white space that ends it
// is taken with it, so that binary samples start right after maxval's.
Token NextToken(TextReader* reader)
{
    int byte = NextByte(reader);
    while (IsSpace(byte)) {
        byte = NextByte(reader);
    }
    Token token;
    if (byte == kEndOfFile) {
        return token;
    }
    token.status = TokenStatus::Number;
    for (size_t digits = 0; byte != kEndOfFile && !IsSpace(byte); byte = NextByte(reader)) {
        if (++digits > kMaxDigits) {
            token.status = TokenStatus::TooLong;
            return token;
        }
        if (byte < '0' || byte > '9') {
            token.status = TokenStatus::NotANumber;
        } else {
            token.value = token.value * 10 + static_cast<uint64_t>(byte - '0');
        }
    }
    return token;
}

DecodeResult TokenRefusal(TokenStatus status, const char* where)
{
    switch (status) {
    case TokenStatus::End:
        return Malformed("PNM file is truncated");
    case TokenStatus::TooLong:
        return Malformed("PNM file is damaged: number of more than " + std::to_string(kMaxDigits) +
                         " digits in the " + where);
    default:
        return Malformed(std::string("PNM file is damaged: not a number in the ") + where);
    }
}

DecodeResult ReadHeaderNumber(TextReader* reader, uint64_t* number)
{
    Token token = NextToken(reader);
    if (token.status != TokenStatus::Number) {
        return TokenRefusal(token.status, "header");
    }
    *number = token.value;
    return {};
}

DecodeResult ReadHeader(TextReader* reader, PnmHeader* header)
{
    const std::span<const uint8_t> file = reader->file;
    if (file.size() < 3 || file[0] != 'P' || !IsSpace(file[2])) {
        return Malformed("not a PNM file");
    }
    const uint8_t kind = file[1];
    if (kind != '2' && kind != '3' && kind != '5' && kind != '6') {
        return Unsupported("PNM file of this kind is not supported");
    }
    header->text = kind == '2' || kind == '3';
    header->channels = kind == '3' || kind == '6' ? 3 : 1;
    reader->position = 3;
    uint64_t maxval = 0;
    for (uint64_t* number : {&header->width, &header->height, &maxval}) {
        if (DecodeResult result = ReadHeaderNumber(reader, number); result.Failed()) {
            return result;
        }
    }
    if (header->width == 0 || header->height == 0) {
        return Malformed("PNM file is damaged: no pixels");
    }
    if (maxval == 0 || maxval > 65535) {
        return Malformed("PNM file is damaged: maxval is not 1 to 65535");
    }
    header->maxval = static_cast<uint32_t>(maxval);
    return {};
}

// The 8-bit value of every sample a file of this header may hold, up to
// 65535 (binary samples may exceed maxval): Pillow's arithmetic in doubles,
// so that halves round as it rounds them.
std::vector<uint8_t> ScaledValues(const PnmHeader& header)
{
    const bool wideGrey = header.channels == 1 && header.maxval > 255;
    const double top = wideGrey ? 65535 : 255;
    std::vector<uint8_t> values(header.maxval > 255 ? 65536 : 256);
    for (uint32_t sample = 0; sample < values.size(); ++sample) {
        const double scaled = std::nearbyint(static_cast<double>(sample) / header.maxval * top);
        const uint32_t value = static_cast<uint32_t>(std::min(scaled, top));
        values[sample] = wideGrey ? Top8(value) : static_cast<uint8_t>(value);
    }
    return values;
}

uint32_t BigEndian16(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
}

DecodeResult ReadBinarySamples(std::span<const uint8_t> data, const PnmHeader& header,
                               const std::vector<uint8_t>& values, GreyImage* image)
{
    const size_t sampleBytes = header.maxval > 255 ? 2 : 1;
    const uint64_t samples = header.width * header.height * header.channels;
    if (data.size() / sampleBytes < samples) {
        return Malformed("PNM file is truncated");
    }
    image->pixels.resize(static_cast<size_t>(header.width * header.height));
    const uint8_t* in = data.data();
    for (uint8_t& grey : image->pixels) {
        uint8_t channel[3];
        for (uint32_t c = 0; c < header.channels; ++c, in += sampleBytes) {
            channel[c] = values[sampleBytes == 2 ? BigEndian16(in) : *in];
        }
        grey = header.channels == 1 ? channel[0] : LumaOf(channel[0], channel[1], channel[2]);
    }
    return {};
}

DecodeResult ReadTextSamples(TextReader* reader, const PnmHeader& header,
                             const std::vector<uint8_t>& values, GreyImage* image)
{
    // Every sample takes a digit and a separator, but the last: a file too
    // short for that is refused before anything is allocated for it.
    const uint64_t samples = header.width * header.height * header.channels;
    if ((reader->file.size() - reader->position + 1) / 2 < samples) {
        return Malformed("PNM file is truncated");
    }
    image->pixels.resize(static_cast<size_t>(header.width * header.height));
    for (uint8_t& grey : image->pixels) {
        uint8_t channel[3];
        for (uint32_t c = 0; c < header.channels; ++c) {
            Token token = NextToken(reader);
            if (token.status != TokenStatus::Number) {
                return TokenRefusal(token.status, "samples");
            }
            if (token.value > header.maxval) {
                return Malformed("PNM file is damaged: sample above maxval");
            }
            channel[c] = values[token.value];
        }
        grey = header.channels == 1 ? channel[0] : LumaOf(channel[0], channel[1], channel[2]);
    }
    return {};
}

}  // namespace

DecodeResult DecodePnm(std::span<const uint8_t> file, GreyImage* image)
{
    TextReader reader{file, 0};
    PnmHeader header;
    if (DecodeResult result = ReadHeader(&reader, &header); result.Failed()) {
        return result;
    }
    // Greys are made straight from the file's samples: a byte a pixel.
    if (!DimensionsAreReadable(header.width, header.height, 1)) {
        return Unsupported("PNM image is too large");
    }
    const std::vector<uint8_t> values = ScaledValues(header);
    DecodeResult result =
        header.text ? ReadTextSamples(&reader, header, values, image)
                    : ReadBinarySamples(file.subspan(reader.position), header, values, image);
    if (result.Failed()) {
        return result;
    }
    image->width = static_cast<uint32_t>(header.width);
    image->height = static_cast<uint32_t>(header.height);
    return {};
}
