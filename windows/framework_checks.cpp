#include "framework_checks.h"

#include <windows.h>

#include "checks.h"
#include "framework.h"

namespace {

int ChainLength()
{
    int length = 0;
    for (const FrameworkDynamicLibrary* record = FrameworkFirstDynamicLibrary(); record;
         record = record->next) {
        ++length;
    }
    return length;
}

DWORD WINAPI EndAtOnce(LPVOID)
{
    return 0;
}

}  // namespace

void CheckRegistration(const std::wstring& dll)
{
    FrameworkListNode hostClass{nullptr, "HostClass"};
    FrameworkListNode hostFactory{nullptr, "HostFactory"};
    FrameworkModuleState* state = FrameworkCurrentModuleState();
    state->registeredClassHead = &hostClass;
    state->registeredFactoryHead = &hostFactory;
    auto hostListsInPlace = [&] {
        return state->registeredClassHead == &hostClass &&
               state->registeredFactoryHead == &hostFactory &&
               state->classInitialisation == nullptr && state->factoryInitialisation == nullptr;
    };

    HMODULE module = LoadLibraryW(dll.c_str());
    Check(module != nullptr, "LoadLibraryW loads the DLL beside its framework DLL",
          "error " + std::to_string(GetLastError()));
    if (module != nullptr) {
        const FrameworkDynamicLibrary* record = FrameworkFirstDynamicLibrary();
        Check(ChainLength() == 1 && record->instance == module && !record->system &&
                  FrameworkIsRegistered(record->module) && FrameworkRegisteredModuleCount() == 1,
              "while it is loaded, the framework's chain lists the module by its instance",
              std::to_string(ChainLength()) + " records, " +
                  std::to_string(FrameworkRegisteredModuleCount()) + " registered");
        Check(hostListsInPlace(), "the host's class and factory lists are back after the attach");

        // The loader calls the entry point with thread attach and detach.
        HANDLE thread = CreateThread(nullptr, 0, EndAtOnce, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        Check(ChainLength() == 1 && FrameworkRegisteredModuleCount() == 1 && hostListsInPlace(),
              "a thread that starts and ends changes no registration");

        FreeLibrary(module);
    }
    Check(ChainLength() == 0 && FrameworkRegisteredModuleCount() == 0,
          "after FreeLibrary the chain no longer lists the module, nor is it registered",
          std::to_string(ChainLength()) + " records, " +
              std::to_string(FrameworkRegisteredModuleCount()) + " registered");
    Check(GetModuleHandleW(dll.c_str()) == nullptr, "the DLL is unloaded");
    *state = FrameworkModuleState{};
}

void CheckRefusedAttach(const std::wstring& refusingDll)
{
    SetLastError(ERROR_SUCCESS);
    HMODULE module = LoadLibraryW(refusingDll.c_str());
    DWORD error = GetLastError();
    Check(module == nullptr && error == ERROR_DLL_INIT_FAILED,
          "a refused registration makes LoadLibraryW fail with ERROR_DLL_INIT_FAILED",
          module ? "it loaded" : "error " + std::to_string(error));
    if (module != nullptr) {
        FreeLibrary(module);
    }
    Check(GetModuleHandleW(refusingDll.c_str()) == nullptr && ChainLength() == 0 &&
              FrameworkRegisteredModuleCount() == 0,
          "the refused DLL is not left loaded, registered or in the chain");
    // The refused attach parked the (empty) list heads; the registration that
    // would have put them back never came.
    *FrameworkCurrentModuleState() = FrameworkModuleState{};
}
