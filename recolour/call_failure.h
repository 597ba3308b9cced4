// The one way a call of Pavonize fails: release the image, say why, and end
// the process with status 1.
#pragma once

// `message` may be nullptr: the process then ends silently.
[[noreturn]] void EndCallWithMessage(const char* message);
