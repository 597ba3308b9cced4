// ImageMagick as an independent BMP reader and writer for round-trip tests.
#pragma once

#include <unistd.h>

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
