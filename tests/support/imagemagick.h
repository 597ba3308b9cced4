// ImageMagick as an independent BMP reader and writer for round-trip tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <string>

#include "process.h"

// The real program: /usr/local/bin may hold a stand-in of the same name.
inline constexpr char kConvert[] = "/usr/bin/convert";

inline bool HaveImageMagick()
{
    if (access(kConvert, X_OK) != 0) {
        return false;
    }
    ProcessResult version = RunProcess({kConvert, "-version"});
    return version.out.find("ImageMagick") != std::string::npos;
}

// Skips the test, saying why, where ImageMagick is missing.
#define SKIP_WITHOUT_IMAGEMAGICK()                                                    \
    if (!HaveImageMagick()) {                                                         \
        GTEST_SKIP() << "ImageMagick is not installed (apt-get install imagemagick)"; \
    }

// Checks, through ImageMagick's own reading of both files, that each of the
// `pixelCount` pixels of `out` shows the palette colour of the band of its
// grey in `in`, and that all four bands occur. Scratch files go in `scratch`.
void ExpectEachPixelInTheBandOfItsGrey(const std::string& in, const std::string& out,
                                       size_t pixelCount, const ScratchDirectory& scratch);
