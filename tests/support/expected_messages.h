// What the library must print on standard output, once for the Linux tests
// and the Windows host alike. Written out here rather than taken from
// recolour/messages.h, so that a changed message is caught, not copied.
#pragma once

#include <string>

namespace expected_messages {

// The long-standing messages, which callers match byte for byte: the
// output failure has never ended in a line feed.
inline const std::string kInputFailed = "read BMP file failed\n";
inline const std::string kLoaded = "BMP image loaded successfully!\n";
inline const std::string kOutputFailed = "read BMP image failed";
inline const std::string kSaved = "image saved\n";
inline const std::string kWriteFailed = "write BMP image failed\n";

// The whole output of one call: recoloured, refused at the output's open,
// and failed while saving.
inline const std::string kSuccess = kLoaded + kSaved;
inline const std::string kOutputRefused = kLoaded + kOutputFailed;
inline const std::string kSaveFailed = kLoaded + kWriteFailed;

// Input refused before anything is written, one line each.
inline const std::string kInputIsDirectory = "input is a directory, not a BMP file\n";
inline const std::string kInputNotRegular = "input is not a regular file\n";
inline const std::string kNotBmp = "not a BMP file: no BM signature\n";
inline const std::string kTruncated = "BMP file is truncated\n";
inline const std::string kHeaderTooSmall = "BMP information header is too small\n";
inline const std::string kNegativeWidth = "BMP width is negative\n";
inline const std::string kTooLarge = "BMP image is too large\n";
inline const std::string kPaletteTooLarge = "BMP palette has more than 256 entries\n";
inline const std::string kBadPixelOffset = "BMP pixel data offset is invalid\n";
inline const std::string kTopDownRle8 = "BMP RLE8 images cannot be stored top-down\n";
inline const std::string kRle8TooShort = "BMP RLE8 data is too short for the image size\n";
inline const std::string kRle8RowOverrun = "BMP RLE8 data runs past the end of a row\n";
inline const std::string kRle8ImageOverrun = "BMP RLE8 data runs past the end of the image\n";
inline const std::string kRle8EndsEarly = "BMP RLE8 data ends before the end of the image\n";
inline const std::string kOutOfMemory = "not enough memory for the image\n";

inline std::string DepthRefusal(int bits)
{
    return std::to_string(bits) +
           "-bit images are not supported: only 8-bit images are recoloured\n";
}

inline std::string CompressionRefusal(unsigned compression)
{
    return "BMP compression " + std::to_string(compression) +
           " is not supported: only uncompressed and RLE8 images are read\n";
}

inline std::string PlanesRefusal(unsigned planes)
{
    return "BMP planes field is " + std::to_string(planes) + ", not 1\n";
}

// A message as pavonize gives it for a failed image on standard error,
// "pavonize: INPUT: " + Reason(message) + the system's words: without its
// line feed.
inline std::string Reason(const std::string& message)
{
    return message.back() == '\n' ? message.substr(0, message.size() - 1) : message;
}

}  // namespace expected_messages
