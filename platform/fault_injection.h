// Where the file layer asks whether a test has armed a fault. Only the test
// build of the library has the seam; the product's answer is a constant
// false, so its checks compile away.
#pragma once

#include "platform.h"

#ifdef ORVANEPAVONIZE_TEST_SEAMS
// True when the armed fault at `point` fires now.
bool FaultInjected(FaultPoint point);
#else
constexpr bool FaultInjected(FaultPoint)
{
    return false;
}
#endif
