#include "image_decoding.h"

DecodeResult DecodeJpeg(std::span<const uint8_t>, GreyImage*)
{
    return Unsupported("jpeg decoder to be written");
}
