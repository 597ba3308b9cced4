// The temporary file that an output is written to, in the output's folder:
// unnamed where the file system allows (O_TMPFILE), so that it has no name
// until it is complete, and named ".pavonize-" and twelve hex digits where
// it does not. The steps of output_steps.h that give it its names, and put
// it in the output's place, are here too.
#pragma once

#include <sys/types.h>

#include "platform.h"

// A temporary in the output's folder with `mode`; -1 with errno set when
// none can be made. Sets `unnamedTemporary`, or `temporaryName`.
int CreateTemporary(PlatformOutput* output, mode_t mode);
// Removes the temporary's name, if it has one.
void RemoveTemporaryName(PlatformOutput* output);
// Gives the open unnamed temporary the name `name` in the output's folder;
// fails with EEXIST rather than replace anything.
bool LinkTemporary(PlatformOutput* output, const char* name);
// Gives the open unnamed temporary a temporary name, to rename it over the
// output.
bool NameTemporary(PlatformOutput* output);
