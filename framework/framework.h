// The host's application framework, as far as an extension library meets
// it: the module state with its class and factory lists, extension-module
// registration, the framework's allocator and the chain of dynamic-library
// records. Host and extension libraries link this one shared library, so they
// all see the same module state and the same chain. What the library
// exports is listed beside this file, in each platform's form
// (exports.map, exports_win32.def).
#pragma once

#include <cstddef>

// A node of the framework's registered-class or registered-factory list.
struct FrameworkListNode {
    FrameworkListNode* next;
    const char* name;
};

// The framework's per-module state. A library's static initialisers add its
// classes and factories to the two list heads; the attach hook parks the
// host's heads in the initialisation slots first, so the registration can tell
// the library's entries from the host's.
struct FrameworkModuleState {
    FrameworkListNode* registeredClassHead;
    FrameworkListNode* registeredFactoryHead;
    FrameworkListNode* classInitialisation;
    FrameworkListNode* factoryInitialisation;
};

// An extension library's registration record. The library keeps one,
// zero-initialised, and only hands it over; the framework fills it.
struct FrameworkExtensionModule {
    bool initialised;
    void* instance;
    FrameworkListNode* classes;    // the library's own classes
    FrameworkListNode* factories;  // the library's own factories
    FrameworkExtensionModule* nextRegistered;
};

// One entry of the framework's chain of libraries.
struct FrameworkDynamicLibrary {
    FrameworkExtensionModule* module;
    void* instance;
    bool system;
    FrameworkDynamicLibrary* next;
};

extern "C" {

FrameworkModuleState* FrameworkCurrentModuleState();

// Registers `module`, loaded as `instance`, taking the library's classes and
// factories off the lists and restoring the host's parked heads. false for an
// absent record or instance, or a module already registered.
bool FrameworkInitialiseExtensionModule(FrameworkExtensionModule* module, void* instance);
// Undoes the registration and removes the module's records from the chain
// (all of the chain when `all`).
void FrameworkTerminateExtensionModule(FrameworkExtensionModule* module, bool all);

// The framework's allocator: storage of `byteCount` bytes, or nullptr.
void* FrameworkAllocate(size_t byteCount);

// Builds a dynamic-library record for `module` in `storage` (from
// FrameworkAllocate) and joins it to the chain; the chain owns it from then.
void FrameworkConstructDynamicLibrary(void* storage, FrameworkExtensionModule* module, bool system);
const FrameworkDynamicLibrary* FrameworkFirstDynamicLibrary();

bool FrameworkIsRegistered(const FrameworkExtensionModule* module);
int FrameworkRegisteredModuleCount();
}

inline constexpr size_t kFrameworkDynamicLibraryBytes = sizeof(FrameworkDynamicLibrary);
