// The end of every save, the same on each platform: a file rewritten in
// place is cut to length, an old image's replacement is given what the old
// file carried and synced, the output is closed and its temporary put in
// place. After any failure the temporary goes, and nothing else is
// touched.
#include "output_steps.h"

bool PlatformFinishOutput(PlatformOutput* output)
{
    // The image was written over the old one from the start; what is left
    // of a longer old image goes only now.
    bool good = output->route != OutputRoute::InPlace ||
                (!OutputFaultFires(FaultPoint::Truncate) && CutOutputToWritten(output));
    // What the replaced file carried goes on last, as cp -a gives it, since
    // writing clears some of it; and before the sync, which puts it on disk
    // with the bytes.
    good = good &&
           !(output->route == OutputRoute::Replacement &&
             (OutputFaultFires(FaultPoint::Attributes) || !GiveReplacementItsAttributes(output)));
    // Replacing an existing image: its bytes must be on disk before the
    // rename, or a crash could leave an empty file where the image was.
    bool replaces =
        output->route == OutputRoute::Replacement || output->route == OutputRoute::InPlace;
    good = good && !(replaces && (OutputFaultFires(FaultPoint::Sync) || !SyncOutput(output)));
    good = good && NameOutputBeforeClose(output);
    bool closed = CloseOutput(output) && !OutputFaultFires(FaultPoint::Close);
    if (!closed) {
        UndoNamingBeforeClose(output);
    }
    good = good && closed;
    if (good && output->temporaryName != nullptr) {
        good = !OutputFaultFires(FaultPoint::Rename) && PutTemporaryInPlace(output);
        if (good) {
            PlatformRelease(output->temporaryName);
            output->temporaryName = nullptr;
        }
    }
    ReleaseOutput(output);
    return good;
}

void PlatformAbandonOutput(PlatformOutput* output)
{
    ReleaseOutput(output);
}
