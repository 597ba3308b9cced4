// The library's calls the command line uses, found by name in the library
// the framework's loader loaded.
#pragma once

#include <string>

#include "loader.h"
#include "orvanepavonize/orvanepavonize.h"

struct RecolouringCalls {
    decltype(&PavonizeFile) file = nullptr;
    decltype(&PavonizeMemory) memory = nullptr;
    decltype(&PavonizeRelease) release = nullptr;
    decltype(&PavonizePixels) pixels = nullptr;
    decltype(&PavonizeWriteFile) writeFile = nullptr;
};

// False, naming the first call missing in `missing`, when the library
// lacks one.
bool FindRecolouringCalls(LoadedLibrary* library, RecolouringCalls* calls, std::string* missing);
