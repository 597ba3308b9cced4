// Runs the images of one command line. The library ends its process when
// an image fails, so the images run in a child process; after a failure
// the rest go to a new child (whose colour sequence starts again). What
// the library prints comes back through the parent, which passes it on to
// standard output and keeps each image's last message to say why it failed.
#pragma once

#include <vector>

#include "command_line.h"
#include "orvanepavonize/orvanepavonize.h"

using PavonizeFunction = int32_t(PAVONIZE_CALL*)(const PavonizePathChar*, const PavonizePathChar*);

// The exit status of the run: 0 when every image was recoloured, else 1.
// Each failed image is named on standard error with the reason.
int RunBatch(PavonizeFunction pavonize, const HostRequest& request);
