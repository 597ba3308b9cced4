// Where the host finds the recolouring library.
#pragma once

#include <string>

// The library file beside the host's executable, or in the installed library
// folder relative to it (../lib, or ../lib/<multiarch> under /usr on Debian):
// the first that exists, else the one beside the host. The executable's
// folder comes from the kernel's record of the running program, never from
// the current folder or argv[0]; false, with the reason in `problem`, when
// that record cannot be read.
bool LibraryPathNearHost(const char* fileName, std::string* path, std::string* problem);
