// Where the file layer asks whether a test has armed a fault, or a file to
// plant. Only the test build of the library has the seam; the product's
// answers are constants that do nothing, so its checks compile away.
#pragma once

#include "platform.h"

#ifdef ORVANEPAVONIZE_TEST_SEAMS
// True when the armed fault at `point` fires now.
bool FaultInjected(FaultPoint point);
#if !defined(_WIN32)
// Moves the file armed for `point`, if any, to `name` in `folder`, once.
void PlantInjected(PlantPoint point, int folder, const char* name);
#endif
#else
constexpr bool FaultInjected(FaultPoint)
{
    return false;
}
constexpr void PlantInjected(PlantPoint, int, const char*) {}
#endif
