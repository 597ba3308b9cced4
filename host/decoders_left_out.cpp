// A build without the decoders: every format but BMP is refused, and the
// command line prints how to convert it instead; no PNG is written.
#include "image_decoding.h"
#include "image_encoding.h"

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

bool EncodeIndexedPng(const BandedImage&, std::vector<uint8_t>*, std::string* problem)
{
    *problem = "this build writes BMP images only";
    return false;
}
