// What an input that was not recoloured really is, told from its first
// bytes, and the ImageMagick command that makes an 8-bit BMP of it.
#pragma once

#include <string>

// For a BMP of another depth, or a file of another image format (PNG,
// JPEG, GIF, TIFF, WebP, PNM and others with a signature): what the file
// is, and the conversion, as lines for standard error. Empty for anything
// else: an 8-bit BMP, a damaged file, one that cannot be read.
std::string ConversionHint(const std::string& path);
