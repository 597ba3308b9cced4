// Runs the images of one command line in this process, each the way its
// formats ask (image_routes.h): one at a time, or several at once on
// threads (-j), with what each image prints given in the order of the
// command line.
#pragma once

#include "command_line.h"
#include "image_routes.h"

// The exit status of the run: 0 when every image was recoloured, else 1.
// Standard output gets the library's messages for each image, as Pavonize
// prints them; each failed image is named on standard error with the
// reason.
int RunBatch(const RecolouringCalls& calls, const HostRequest& request);
