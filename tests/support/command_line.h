// What the tests of pavonize as a process share: running it, the small
// image they feed it, the colours they choose for it, and a scratch folder
// with an input and an output path.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bmp_builder.h"
#include "process.h"

// Runs the build's pavonize with `arguments`.
ProcessResult Pavonize(const std::vector<std::string>& arguments,
                       const ProcessOptions& options = {});

// 5 x 3 greys; pixel (x, y) is 50x + y, so each row spans all four bands.
Bytes SmallImage();

// --colours as users write it, and the palette entries 0-3 it must give.
inline const std::string kChosenList = "#102030,405060,708090,A0b0C0";
inline const Bytes kChosenColours = {0x30, 0x20, 0x10, 0, 0x60, 0x50, 0x40, 0,
                                     0x90, 0x80, 0x70, 0, 0xC0, 0xB0, 0xA0, 0};

// A test with a fresh scratch folder, and in.bmp and out.bmp named in it.
class ScratchFilesTest : public ::testing::Test {
protected:
    ScratchDirectory scratch_;
    std::string in_ = scratch_.Path("in.bmp");
    std::string out_ = scratch_.Path("out.bmp");
};
