#include "image_decoding.h"

DecodeResult DecodeTiff(std::span<const uint8_t>, GreyImage*)
{
    return Unsupported("tiff decoder to be written");
}
