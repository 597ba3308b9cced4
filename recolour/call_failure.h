// The one way a call of Pavonize fails: release the image, say why, and end
// the process with status 1.
#pragma once

#include "call_status.h"

// Ends the call with the message that tells `status` (none for NoPixels).
[[noreturn]] void EndCall(CallStatus status);
