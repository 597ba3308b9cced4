// The way each image goes through the library, by what its input is and
// what its output's name asks for:
// - a BMP (or anything not decoded here) to a BMP: PavonizeFile, the
//   library reading and writing the files itself;
// - a BMP to a PNG: PavonizeMemory on the file's bytes, its result made an
//   indexed PNG;
// - a PNG, TIFF, JPEG or PNM: decoded to greys here, banded by
//   PavonizePixels, encoded as a BMP or PNG;
// the last two written by PavonizeWriteFile, as safely as the library
// writes its own.
#pragma once

#include "command_line.h"
#include "orvanepavonize/orvanepavonize.h"
#include "recolouring_calls.h"

struct ImageOutcome {
    PavonizeStatus status{};
    const char* format = "BMP";  // what the input was read as
    // Whether a refused input may be another format to convert first: only
    // one the library itself looked at.
    bool readByLibrary = true;
};

ImageOutcome RecolourImage(const RecolouringCalls& calls, const ImageJob& job,
                           const uint8_t* colours);
