// The progress display of a quiet batch: a one-line "[37/200] img037.bmp"
// on standard error when that is a terminal, redrawn in place.
#pragma once

#include <cstddef>

#include "command_line.h"

struct Progress {
    bool enabled = false;
    bool shown = false;
};

// Shows that image `index` of the request is being recoloured.
void ShowProgress(Progress* progress, size_t index, const HostRequest& request);
// Clears the line, so that a message can take its place.
void ClearProgress(Progress* progress);
