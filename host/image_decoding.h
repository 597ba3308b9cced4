// Images of the formats the command line reads besides BMP, told apart by
// their first bytes and decoded to greys (see grey_image.h for the rules).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "grey_image.h"

enum class ImageFormat { Other, Png, Tiff, Jpeg, Pnm };

// The format whose signature `head` starts with; Other for BMP and for
// everything not decoded here. Needs at most the first 8 bytes.
ImageFormat FormatOfHead(std::span<const uint8_t> head);

// What users call the format: "PNG", "TIFF", "JPEG", "PNM".
const char* FormatName(ImageFormat format);

// Whether this build carries the decoders (cross builds may leave them out).
bool DecodersBuiltIn();

// Decodes a whole file held in memory. Nothing of `image` is kept on
// failure.
DecodeResult DecodeGreyImage(ImageFormat format, std::span<const uint8_t> file, GreyImage* image);

// One decoder per format, each on a whole file in memory.
DecodeResult DecodePng(std::span<const uint8_t> file, GreyImage* image);
DecodeResult DecodeTiff(std::span<const uint8_t> file, GreyImage* image);
DecodeResult DecodeJpeg(std::span<const uint8_t> file, GreyImage* image);
DecodeResult DecodePnm(std::span<const uint8_t> file, GreyImage* image);
