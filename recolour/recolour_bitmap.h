// The work behind the exported Pavonize, callable from tests that intercept
// the end of the process.
#pragma once

#include <cstdint>

#include "orvanepavonize/orvanepavonize.h"

// Loads `inputPath`, colours it and saves it to `outputPath`; returns
// PAVONIZE_DONE (999), what Pavonize returns whenever it returns.
// One call at a time: overlapping calls wait for each other.
int32_t RecolourBitmap(const char16_t* inputPath, const char16_t* outputPath);
