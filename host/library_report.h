// --version and --about: what the loaded library says about itself, read
// from its identity resources and printed on standard output.
#pragma once

#include "loader.h"

// "pavonize (PACKAGE) VERSION", the version from the library's version block,
// then its copyright and the licence, as GNU tools print them.
int ShowVersion(LoadedLibrary* library);
// Every value of the version block, the type library's header and string 101.
int ShowAbout(LoadedLibrary* library);
