// What the tests of pavonize as a process share: running it, the small
// image they feed it, and a scratch folder with an input and an output path.
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

// A test with a fresh scratch folder, and in.bmp and out.bmp named in it.
class ScratchFilesTest : public ::testing::Test {
protected:
    ScratchDirectory scratch_;
    std::string in_ = scratch_.Path("in.bmp");
    std::string out_ = scratch_.Path("out.bmp");
};
