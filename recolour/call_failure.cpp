#include "call_failure.h"

#include "image_state.h"
#include "platform.h"

void EndCall(CallStatus status)
{
    // Nothing of the image outlives the call, even when a test or a fuzzer
    // intercepts the end of the process and carries on.
    ReleaseImage();
    char text[kCallMessageBytes];
    if (const char* message = CallMessage(status, text); message != nullptr) {
        PlatformPrint(message);
    }
    PlatformEndProcess(1);
}
