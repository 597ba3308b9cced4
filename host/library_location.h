// Where the host finds the recolouring library.
#pragma once

#include <string>

// The library file beside the host's executable, or in ../lib from it (an
// installed layout); the first that exists, else the one beside the host.
std::string LibraryPathNearHost(const char* fileName);
