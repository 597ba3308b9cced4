// Shared between the framework's own files only.
#pragma once

#include "framework.h"

// Removes and frees the records built from `module`, or every record when
// `module` is absent. The records are the chain's, whoever allocated them.
void FrameworkDropDynamicLibraries(const FrameworkExtensionModule* module);

struct LoadedLibrary;
// The platform's handle behind a loaded library.
void* LoaderLibraryHandle(const LoadedLibrary* library);
