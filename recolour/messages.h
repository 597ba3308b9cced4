// Every text the library prints on standard output. The first four are the
// library's long-standing messages, which callers match byte for byte (the
// output failure has never ended in a line feed); the rest explain a refusal.
// Input that is valid but not read here says "not supported" and what is
// read instead; damaged input is told by what is wrong with it. Which text
// tells which problem is looked up in one place, call_status.cpp.
#pragma once

inline constexpr char kMessageInputFailed[] = "read BMP file failed\n";
inline constexpr char kMessageLoaded[] = "BMP image loaded successfully!\n";
inline constexpr char kMessageOutputFailed[] = "read BMP image failed";
inline constexpr char kMessageSaved[] = "image saved\n";

inline constexpr char kMessageWriteFailed[] = "write BMP image failed\n";
inline constexpr char kMessageInputIsDirectory[] = "input is a directory, not a BMP file\n";
inline constexpr char kMessageInputNotRegular[] = "input is not a regular file\n";
inline constexpr char kMessageNotBmp[] = "not a BMP file: no BM signature\n";
inline constexpr char kMessageTruncated[] = "BMP file is truncated\n";
inline constexpr char kMessageHeaderTooSmall[] = "BMP information header is too small\n";
// printf formats: the offending value is part of the message.
inline constexpr char kMessageDepthFormat[] =
    "%u-bit images are not supported: only 8-bit images are recoloured\n";
inline constexpr char kMessageCompressionFormat[] =
    "BMP compression %u is not supported: only uncompressed and RLE8 images are read\n";
inline constexpr char kMessageNegativeWidth[] = "BMP width is negative\n";
inline constexpr char kMessageTooLarge[] = "BMP image is too large\n";
inline constexpr char kMessagePaletteTooLarge[] = "BMP palette has more than 256 entries\n";
inline constexpr char kMessageBadPixelOffset[] = "BMP pixel data offset is invalid\n";
inline constexpr char kMessagePlanesFormat[] = "BMP planes field is %u, not 1\n";
inline constexpr char kMessageTopDownRle8[] = "BMP RLE8 images cannot be stored top-down\n";
inline constexpr char kMessageRle8TooShort[] = "BMP RLE8 data is too short for the image size\n";
inline constexpr char kMessageRle8RowOverrun[] = "BMP RLE8 data runs past the end of a row\n";
inline constexpr char kMessageRle8ImageOverrun[] = "BMP RLE8 data runs past the end of the image\n";
inline constexpr char kMessageRle8EndsEarly[] = "BMP RLE8 data ends before the end of the image\n";
// The calls on raw grey pixels and on bytes a host encoded itself.
inline constexpr char kMessagePixelsMissing[] =
    "no grey pixels given, or their rows are shorter than the width\n";
inline constexpr char kMessageBandsMissing[] = "no room given for the bands or the palette\n";
inline constexpr char kMessageFileCannotCreate[] = "cannot create the output file\n";
inline constexpr char kMessageFileWriteFailed[] = "cannot write the output file\n";
inline constexpr char kMessageOutOfMemory[] = "not enough memory for the image\n";
inline constexpr char kMessageInternalError[] = "internal error in the recolouring library\n";
