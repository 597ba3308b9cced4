// The steps that end an output, which each platform's file layer supplies
// and output_finish.cpp runs in the same order everywhere.
#pragma once

#include "platform.h"

// True when an injected fault makes this step fail, with the error the
// platform's call would give.
bool OutputFaultFires(FaultPoint point);
// Cuts a file rewritten in place to what has been written.
bool CutOutputToWritten(PlatformOutput* output);
// Gives a replacement, once its bytes are written, the replaced file's owner,
// mode and extended attributes again: a write clears file capabilities,
// and set-ID bits when the caller is not root.
bool GiveReplacementItsAttributes(PlatformOutput* output);
// Puts the output's bytes on disk.
bool SyncOutput(PlatformOutput* output);
// What must be done while the output is still open: on Linux, an unnamed
// temporary gets its name here (a new file its final one).
bool NameOutputBeforeClose(PlatformOutput* output);
// Closes the output's handle, which is released even when that fails.
bool CloseOutput(PlatformOutput* output);
// Undoes NameOutputBeforeClose after a failed close.
void UndoNamingBeforeClose(PlatformOutput* output);
// Puts the named temporary in the output's place.
bool PutTemporaryInPlace(PlatformOutput* output);
// Closes what is open and removes the temporary, if any.
void ReleaseOutput(PlatformOutput* output);
