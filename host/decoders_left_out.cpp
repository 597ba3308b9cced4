// A build without the decoders: every format but BMP is refused, and the
// command line prints how to convert it instead.
#include "image_decoding.h"

namespace {

DecodeResult LeftOut()
{
    return Unsupported("this build reads BMP images only");
}

}  // namespace

DecodeResult DecodePng(std::span<const uint8_t>, GreyImage*)
{
    return LeftOut();
}
DecodeResult DecodeTiff(std::span<const uint8_t>, GreyImage*)
{
    return LeftOut();
}
DecodeResult DecodeJpeg(std::span<const uint8_t>, GreyImage*)
{
    return LeftOut();
}
DecodeResult DecodePnm(std::span<const uint8_t>, GreyImage*)
{
    return LeftOut();
}
