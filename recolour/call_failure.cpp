#include "call_failure.h"

#include "image_state.h"
#include "platform.h"

void EndCallWithMessage(const char* message)
{
    // Nothing of the image outlives the call, even when a test or a fuzzer
    // intercepts the end of the process and carries on.
    ReleaseImage();
    if (message != nullptr) {
        PlatformPrint(message);
    }
    PlatformEndProcess(1);
}

void EndCall(CallStatus status)
{
    char text[kCallMessageBytes];
    EndCallWithMessage(CallMessage(status, text));
}
