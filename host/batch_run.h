// Runs the images of one command line. The library ends its process when
// an image fails, so the images run in a child process; after a failure
// the rest go to a new child (whose colour sequence starts again).
#pragma once

#include <vector>

#include "command_line.h"
#include "orvanepavonize/orvanepavonize.h"

using PavonizeFunction = int32_t(PAVONIZE_CALL*)(const PavonizePathChar*, const PavonizePathChar*);

// The exit status of the run: 0 when every image was recoloured, else 1.
// Each failed image is named on standard error.
int RunBatch(PavonizeFunction pavonize, const HostRequest& request);
