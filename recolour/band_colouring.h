// Band colouring: four random colours in palette entries 0-3, and every
// pixel replaced by the band (0-3) its grey level falls into.
#pragma once

#include <cstdint>

#include "image_state.h"

// The number of equal grey bands of 0-255; a power of two, so that a band is
// the top bits of the value.
inline constexpr int32_t kBandLevels = 4;

// The bytes of four chosen colours: red, green, blue of bands 0-3.
inline constexpr int32_t kChosenColoursBytes = 12;

// Gives entries 0-3 of image->palette their colours and maps the first
// height x rowBytes bytes of `pixels` to bands by image->indexGrey, padding
// included. The colours are `colours` (kChosenColoursBytes), or, when it
// is nullptr, twelve consecutive draws of the generator, red, green, blue
// per entry. Nothing is mapped when height x rowBytes is 0 or less.
void ColourBands(ImageState* image, const uint8_t* colours, uint8_t* pixels, int32_t height,
                 int32_t rowBytes);

// ColourBands on the module-wide image, with drawn colours.
void ApplyColourBands(uint8_t* pixels, int32_t height, int32_t rowBytes);

// Replaces `count` grey levels 0-255 by their bands, as the grey-ramp
// palette bands them: the top bits of each value.
void MapGreyLevelsToBands(uint8_t* pixels, int64_t count);

// Fills `bytes` with `count` pseudo-random integers 0-255: consecutive
// values of the generator that no other call's draws come between.
void RandomBytes(int32_t* bytes, int32_t count);

// Stores one colour; the channels are taken as their low eight bits.
void SetPaletteEntry(PaletteEntry* palette, int32_t index, int32_t red, int32_t green,
                     int32_t blue);

// The band of `value` (0-255) among `levels` equal bands.
int32_t BandIndex(int32_t value, int32_t levels);
