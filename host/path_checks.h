// What the file system says about the paths of a command line, asked
// before any image is read.
#pragma once

#include <string>

#include "command_line.h"

// The checks made before the first image: the output folder exists, no
// output is the process's own standard output, and no path of the run can
// overwrite another's file before or after it is used. For --pairs an
// OUTPUT may be its own INPUT, but not another pair's INPUT, nor another
// pair's OUTPUT; for -o no output may be an input; for --in-place no file
// may be named twice.
bool CheckPathsBeforeWork(const HostRequest& request, std::string* problem);

// The path a write to `path` ends up at: symbolic links, dangling ones
// included, followed, and the folder made absolute and free of links.
std::string FinalPath(const std::string& path);
