// Banding grey pixels a host decoded itself: no file, no BMP, the same
// colours and bands a BMP of those greys would get.
#pragma once

#include <cstddef>
#include <cstdint>

#include "call_status.h"

// The bytes of the palette handed back: red, green, blue of 256 entries.
inline constexpr size_t kRgbPaletteBytes = 768;

// Maps width x height grey levels, rows greyStride bytes apart, to bands
// 0-3 in `bands`, rows bandsStride apart (`bands` may be `grey` itself,
// with the same stride), and fills `palette` (kRgbPaletteBytes): the grey
// ramp, with entries 0-3 the chosen `colours` or four drawn ones.
CallStatus BandGreyPixels(const uint8_t* grey, size_t width, size_t height, size_t greyStride,
                          const uint8_t* colours, uint8_t* bands, size_t bandsStride,
                          uint8_t* palette);
