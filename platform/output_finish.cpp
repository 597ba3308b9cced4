// The end of every save, the same on each platform: a file rewritten in
// place is cut to length, an old image's replacement is given what the old
// file carried and synced, the output is closed and its temporary put in
// place. After any failure the temporary goes, and nothing else is
// touched.
#include <cerrno>

#include "output_steps.h"

namespace {

// Keeps the errno of the first step that failed, for the caller's report;
// the clean-up after it may change errno.
bool Step(bool done, int* error)
{
    if (!done && *error == 0) {
        *error = errno;
    }
    return done;
}

}  // namespace

bool PlatformFinishOutput(PlatformOutput* output)
{
    int error = 0;
    // The image was written over the old one from the start; what is left
    // of a longer old image goes only now.
    bool good = output->route != OutputRoute::InPlace ||
                Step(!OutputFaultFires(FaultPoint::Truncate) && CutOutputToWritten(output), &error);
    // What the replaced file carried goes on last, as cp -a gives it, since
    // writing clears some of it; and before the sync, which puts it on disk
    // with the bytes.
    good =
        good &&
        Step(!(output->route == OutputRoute::Replacement &&
               (OutputFaultFires(FaultPoint::Attributes) || !GiveReplacementItsAttributes(output))),
             &error);
    // Replacing an existing image: its bytes must be on disk before the
    // rename, or a crash could leave an empty file where the image was.
    bool replaces =
        output->route == OutputRoute::Replacement || output->route == OutputRoute::InPlace;
    good = good &&
           Step(!(replaces && (OutputFaultFires(FaultPoint::Sync) || !SyncOutput(output))), &error);
    good = good && Step(NameOutputBeforeClose(output), &error);
    bool closed = Step(CloseOutput(output) && !OutputFaultFires(FaultPoint::Close), &error);
    if (!closed) {
        UndoNamingBeforeClose(output);
    }
    good = good && closed;
    if (good && output->temporaryName != nullptr) {
        good = Step(!OutputFaultFires(FaultPoint::Rename) && PutTemporaryInPlace(output), &error);
        if (good) {
            PlatformRelease(output->temporaryName);
            output->temporaryName = nullptr;
        }
    }
    ReleaseOutput(output);
    errno = error;
    return good;
}

void PlatformAbandonOutput(PlatformOutput* output)
{
    ReleaseOutput(output);
}
