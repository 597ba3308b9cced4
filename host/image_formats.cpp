#include "image_formats.h"

#include <cstdint>
#include <string_view>

#include "byte_order.h"
#include "file_bytes.h"
#include "quoting.h"
#include "recolour/bitmap_format.h"

namespace {

// Enough for every signature below and for a BMP's depth field.
constexpr size_t kHeadBytes = 32;

struct Signature {
    const char* name;   // what users call the format
    const char* coder;  // ImageMagick's name for it, which its reader takes as a prefix
    std::string_view first;
    size_t secondOffset = 0;  // a second mark further on, if the format has one
    std::string_view second;
};

using namespace std::string_view_literals;

const Signature kSignatures[] = {
    {"PNG", "PNG", "\x89PNG\r\n\x1A\n"sv, 0, ""sv},
    {"JPEG", "JPEG", "\xFF\xD8\xFF"sv, 0, ""sv},
    {"GIF", "GIF", "GIF87a"sv, 0, ""sv},
    {"GIF", "GIF", "GIF89a"sv, 0, ""sv},
    {"TIFF", "TIFF", "II*\0"sv, 0, ""sv},
    {"TIFF", "TIFF", "MM\0*"sv, 0, ""sv},
    {"WebP", "WEBP", "RIFF"sv, 8, "WEBP"sv},
    {"JPEG 2000", "JP2", "\0\0\0\x0CjP  \r\n\x87\n"sv, 0, ""sv},
    {"JPEG XL", "JXL", "\xFF\x0A"sv, 0, ""sv},
    {"JPEG XL", "JXL", "\0\0\0\x0CJXL \r\n\x87\n"sv, 0, ""sv},
    {"AVIF", "AVIF", ""sv, 4, "ftypavif"sv},
    {"HEIF", "HEIC", ""sv, 4, "ftypheic"sv},
    {"QOI", "QOI", "qoif"sv, 0, ""sv},
    {"Photoshop", "PSD", "8BPS"sv, 0, ""sv},
    {"OpenEXR", "EXR", "\x76\x2F\x31\x01"sv, 0, ""sv},
    {"PBM", "PNM", "P1"sv, 0, ""sv},
    {"PGM", "PNM", "P2"sv, 0, ""sv},
    {"PPM", "PNM", "P3"sv, 0, ""sv},
    {"PBM", "PNM", "P4"sv, 0, ""sv},
    {"PGM", "PNM", "P5"sv, 0, ""sv},
    {"PPM", "PNM", "P6"sv, 0, ""sv},
    {"PAM", "PAM", "P7"sv, 0, ""sv},
};

bool HasAt(std::string_view head, size_t offset, std::string_view mark)
{
    return head.size() >= offset + mark.size() && head.substr(offset, mark.size()) == mark;
}

bool Matches(const Signature& signature, std::string_view head)
{
    if (!HasAt(head, 0, signature.first) ||
        !HasAt(head, signature.secondOffset, signature.second)) {
        return false;
    }
    // "P1".."P7" begin many a text file; a netpbm header goes on with a space.
    if (signature.first.size() == 2 && signature.first[0] == 'P') {
        return head.size() > 2 && std::string_view(" \t\r\n").find(head[2]) != std::string::npos;
    }
    return true;
}

// The BMP's depth, or -1 when the head is not a BMP's or is cut short: the
// 12-byte OS/2 header keeps it at another place than every longer one.
int BmpDepth(std::string_view head)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(head.data());
    if (head.size() < kFileHeaderBytes + 4 || ReadLe16(bytes + kFieldType) != kBitmapSignature) {
        return -1;
    }
    const uint8_t* info = bytes + kFileHeaderBytes;
    size_t field =
        ReadLe32(info + kFieldInfoSize) == kCoreHeaderBytes ? kFieldCoreBitCount : kFieldBitCount;
    if (head.size() < kFileHeaderBytes + field + 2) {
        return -1;
    }
    return ReadLe16(info + field);
}

// "dir/photo.png" gives "dir/photo-grey.bmp".
std::string GreyName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    size_t stemEnd = dot != std::string::npos && dot > nameStart ? dot : path.size();
    return path.substr(0, stemEnd) + "-grey.bmp";
}

}  // namespace

std::string ConversionHint(const std::string& path)
{
    char buffer[kHeadBytes];
    std::string_view head(buffer,
                          ReadFileHead(path, reinterpret_cast<uint8_t*>(buffer), kHeadBytes));
    std::string what;
    std::string coder;
    int depth = BmpDepth(head);
    if (depth >= 0 && depth != 8) {
        what = std::to_string(depth) + "-bit BMP";
        coder = "BMP";
    }
    for (const Signature& signature : kSignatures) {
        if (what.empty() && Matches(signature, head)) {
            what = signature.name;
            coder = signature.coder;
        }
    }
    if (what.empty()) {
        return "";
    }
    // The coder prefix makes ImageMagick read the format the file really
    // has, whatever its name says, and keeps a name that starts with a
    // dash from being taken for an option.
    const char* article =
        std::string_view("AEIOU8").find(what[0]) == std::string::npos ? "a" : "an";
    return "pavonize: " + QuotedName(path) + " is " + article + " " + what +
           " image; convert it to an 8-bit BMP first, for example:\n"
           "  convert " +
           QuotedName(coder + ":" + path) +
           " -colorspace Gray +dither -type Palette -compress RLE " +
           QuotedName("BMP3:" + GreyName(path)) + "\n";
}
