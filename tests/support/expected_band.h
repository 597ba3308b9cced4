// The band a grey level must come out as: four equal bands of 0-255. Written
// out here, not taken from the library, so that the tests check it.
#pragma once

#include <cstdint>
#include <string>
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

// The colours the tests choose for bands 0-3, as --colours takes them and as
// red, green and blue, and the palette entries 0-3 they must give.
inline const std::string kChosenList = "#102030,405060,708090,A0b0C0";
inline constexpr uint8_t kChosenRgb[12] = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60,
                                           0x70, 0x80, 0x90, 0xA0, 0xB0, 0xC0};
inline const std::vector<uint8_t> kChosenColours = {0x30, 0x20, 0x10, 0, 0x60, 0x50, 0x40, 0,
                                                    0x90, 0x80, 0x70, 0, 0xC0, 0xB0, 0xA0, 0};
