#include "image_decoding.h"

#include <new>
#include <string_view>

namespace {

bool StartsWith(std::span<const uint8_t> head, std::string_view mark)
{
    return head.size() >= mark.size() &&
           std::string_view(reinterpret_cast<const char*>(head.data()), mark.size()) == mark;
}

}  // namespace

ImageFormat FormatOfHead(std::span<const uint8_t> head)
{
    using namespace std::string_view_literals;
    if (StartsWith(head, "\x89PNG\r\n\x1A\n"sv)) {
        return ImageFormat::Png;
    }
    if (StartsWith(head, "II*\0"sv) || StartsWith(head, "MM\0*"sv)) {
        return ImageFormat::Tiff;
    }
    if (StartsWith(head, "\xFF\xD8\xFF"sv)) {
        return ImageFormat::Jpeg;
    }
    // P2, P3, P5, P6, then the white space every netpbm header goes on with:
    // "P2" alone begins many a text file.
    if (head.size() >= 3 && head[0] == 'P' &&
        std::string_view("2356").find(head[1]) != std::string_view::npos &&
        std::string_view(" \t\r\n").find(static_cast<char>(head[2])) != std::string_view::npos) {
        return ImageFormat::Pnm;
    }
    return ImageFormat::Other;
}

const char* FormatName(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Png:
        return "PNG";
    case ImageFormat::Tiff:
        return "TIFF";
    case ImageFormat::Jpeg:
        return "JPEG";
    case ImageFormat::Pnm:
        return "PNM";
    case ImageFormat::Other:
        break;
    }
    return "BMP";
}

bool DecodersBuiltIn()
{
    return ORVANEPAVONIZE_DECODERS_BUILT_IN != 0;
}

DecodeResult DecodeGreyImage(ImageFormat format, std::span<const uint8_t> file, GreyImage* image)
{
    *image = GreyImage{};
    DecodeResult result;
    try {
        switch (format) {
        case ImageFormat::Png:
            result = DecodePng(file, image);
            break;
        case ImageFormat::Tiff:
            result = DecodeTiff(file, image);
            break;
        case ImageFormat::Jpeg:
            result = DecodeJpeg(file, image);
            break;
        case ImageFormat::Pnm:
            result = DecodePnm(file, image);
            break;
        case ImageFormat::Other:
            result = Unsupported("not an image format read here");
            break;
        }
    } catch (const std::bad_alloc&) {
        result = OutOfMemory();
    }
    if (result.Failed()) {
        *image = GreyImage{};
    }
    return result;
}
