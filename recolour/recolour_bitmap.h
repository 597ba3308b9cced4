// The work behind the exported Pavonize, callable from tests that intercept
// the end of the process.
#pragma once

#include <cstdint>

// Loads `inputPath`, colours it and saves it to `outputPath`; returns 999.
// One call at a time: overlapping calls wait for each other.
int32_t RecolourBitmap(const char16_t* inputPath, const char16_t* outputPath);

// What Pavonize returns whenever it returns.
constexpr int32_t kRecolourDone = 999;
