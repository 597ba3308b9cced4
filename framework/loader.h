// The platform loader's part, for a platform whose loader makes no entry
// call: load a library file, call its entry point for process attach, and
// refuse the load when the entry point does; unloading calls it for process
// detach first. A library's resources are found by type, identifier and
// language, as with the platform's own resource look-up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework.h"

struct LoadedLibrary;

// Reasons the entry point is called with.
inline constexpr uint32_t kReasonProcessDetach = 0;
inline constexpr uint32_t kReasonProcessAttach = 1;
inline constexpr uint32_t kReasonThreadAttach = 2;
inline constexpr uint32_t kReasonThreadDetach = 3;

// The symbol the loader calls: int entry(void* instance, uint32_t reason,
// void* reserved), non-zero to accept. The instance is the LoadedLibrary.
inline constexpr char kModuleEntryPointName[] = "ModuleEntryPoint";
using ModuleEntryRoutine = int (*)(void* instance, uint32_t reason, void* reserved);

extern "C" {

// The library, attached; nullptr when it cannot be loaded (LoaderLastProblem
// says why). Loading a library already loaded counts one more use and makes
// no entry call, as the platform's loader does.
LoadedLibrary* LoaderLoadLibrary(const char* path);
// Detaches the library on its last use, then unloads the file.
void LoaderUnloadLibrary(LoadedLibrary* library);
// An exported symbol of the library, or nullptr.
void* LoaderFindExport(LoadedLibrary* library, const char* name);
const char* LoaderLibraryPath(const LoadedLibrary* library);
const char* LoaderLastProblem();

// A resource's bytes inside the mapped library, or nullptr; `byteCount`
// receives its size.
const uint8_t* FrameworkFindResource(LoadedLibrary* library, const char* type, uint16_t id,
                                     uint16_t language, size_t* byteCount);
}
