#include "image_decoding.h"

DecodeResult DecodePnm(std::span<const uint8_t>, GreyImage*)
{
    return Unsupported("pnm decoder to be written");
}
