// libFuzzer entry: every input goes the whole way a host's call goes.
#include <cstddef>
#include <cstdint>

#include "whole_path.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    PrepareWholePath();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RecolourWholePath(data, size);
    return 0;
}
