// The band a grey level must come out as: four equal bands of 0-255. Written
// out here, not taken from the library, so that the tests check it.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int kExpectedBandCount = 4;

inline uint8_t ExpectedBand(int grey)
{
    return static_cast<uint8_t>(grey / (256 / kExpectedBandCount));
}

// Every byte of `pixels` as its band, row padding included.
inline std::vector<uint8_t> ExpectedBands(std::vector<uint8_t> pixels)
{
    for (uint8_t& value : pixels) {
        value = ExpectedBand(value);
    }
    return pixels;
}
