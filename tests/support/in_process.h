// For tests that call the library's functions directly: "end the process"
// becomes an exception the test can catch, and standard output is captured.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "bmp_builder.h"
#include "platform.h"
#include "process.h"

struct CallOutcome {
    bool ended = false;  // the library asked to end the process
    int status = 0;
    std::string out;  // what it printed on standard output
};

// Runs `call` with standard output captured and ending intercepted.
CallOutcome RunIntercepted(const std::function<void()>& call);

// Random source yielding 10, 20, 30, ... from the next call on.
void UseCountingRandomSource();

class InProcessTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Writes `input` to in.bmp, recolours it into out.bmp through the whole call
// and returns the output bytes; the call must succeed.
class RecolourFileTest : public InProcessTest {
protected:
    Bytes Recolour(const Bytes& input);
    ScratchDirectory scratch_;
    std::string in_ = scratch_.Path("in.bmp");
    std::string out_ = scratch_.Path("out.bmp");
};
