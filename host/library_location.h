// Where the host finds the recolouring library.
#pragma once

#include <string>

// The library file beside the host's executable, or in the installed library
// folder relative to it; the first that exists, else the one beside the host.
std::string LibraryPathNearHost(const char* fileName);
