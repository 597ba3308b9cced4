// Band colouring: four random colours in palette entries 0-3, and every
// pixel replaced by the band (0-3) its grey level falls into.
#pragma once

#include <cstdint>

#include "image_state.h"

// The number of equal grey bands of 0-255; a power of two, so that a band is
// the top bits of the value.
inline constexpr int32_t kBandLevels = 4;

// Gives entries 0-3 of imageState.palette new colours (twelve draws, red,
// green, blue per entry) and maps the first height x rowBytes bytes of
// `pixels` to bands, padding included. Nothing is mapped when that product is
// 0 or less.
void ApplyColourBands(uint8_t* pixels, int32_t height, int32_t rowBytes);

// A pseudo-random integer 0-255.
int32_t RandomByte();

// Stores one colour; the channels are taken as their low eight bits.
void SetPaletteEntry(PaletteEntry* palette, int32_t index, int32_t red, int32_t green,
                     int32_t blue);

// The band of `value` (0-255) among `levels` equal bands.
int32_t BandIndex(int32_t value, int32_t levels);
