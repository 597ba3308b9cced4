// The band a grey level must come out as: four equal bands of 0-255. Written
// out here, not taken from the library, so that the tests check it.
#pragma once

#include <cstdint>

inline constexpr int kExpectedBandCount = 4;

inline uint8_t ExpectedBand(int grey)
{
    return static_cast<uint8_t>(grey / (256 / kExpectedBandCount));
}
