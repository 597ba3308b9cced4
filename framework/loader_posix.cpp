#include <dlfcn.h>

#include <string>

#include "framework_internal.h"
#include "loader.h"

struct LoadedLibrary {
    void* handle;
    std::string path;
    ModuleEntryRoutine entry;
    int uses;
    LoadedLibrary* next;
};

namespace {

LoadedLibrary* loadedLibraries = nullptr;
std::string lastProblem;

LoadedLibrary* FindLoaded(void* handle)
{
    for (LoadedLibrary* library = loadedLibraries; library; library = library->next) {
        if (library->handle == handle) {
            return library;
        }
    }
    return nullptr;
}

void Forget(LoadedLibrary* library)
{
    for (LoadedLibrary** link = &loadedLibraries; *link; link = &(*link)->next) {
        if (*link == library) {
            *link = library->next;
            return;
        }
    }
}

}  // namespace

LoadedLibrary* LoaderLoadLibrary(const char* path)
{
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        lastProblem = reason ? reason : std::string(path) + ": cannot be opened";
        return nullptr;
    }
    if (LoadedLibrary* library = FindLoaded(handle)) {
        ++library->uses;
        return library;
    }
    auto entry = reinterpret_cast<ModuleEntryRoutine>(dlsym(handle, kModuleEntryPointName));
    if (entry == nullptr) {
        dlclose(handle);
        lastProblem = std::string(path) + ": not a library of this framework (no entry point)";
        return nullptr;
    }
    auto* library = new LoadedLibrary{handle, path, entry, 1, loadedLibraries};
    loadedLibraries = library;
    if (!entry(library, kReasonProcessAttach, nullptr)) {
        // A refused attach means the library could not be loaded: it goes
        // away again without a detach call.
        Forget(library);
        dlclose(handle);
        delete library;
        lastProblem =
            std::string(path) + ": the library's initialisation failed, so it could not be loaded";
        return nullptr;
    }
    return library;
}

void LoaderUnloadLibrary(LoadedLibrary* library)
{
    if (library == nullptr) {
        return;
    }
    void* handle = library->handle;
    if (--library->uses == 0) {
        library->entry(library, kReasonProcessDetach, nullptr);
        Forget(library);
        delete library;
    }
    dlclose(handle);
}

void* LoaderFindExport(LoadedLibrary* library, const char* name)
{
    return library ? dlsym(library->handle, name) : nullptr;
}

const char* LoaderLibraryPath(const LoadedLibrary* library)
{
    return library ? library->path.c_str() : "";
}

const char* LoaderLastProblem()
{
    return lastProblem.c_str();
}

void* LoaderLibraryHandle(const LoadedLibrary* library)
{
    return library->handle;
}
