// The framework DLL as the host shares it with the module: Windows' loader
// calls the module's entry point, which registers the module with the
// framework on load and unregisters it on unload.
#pragma once

#include <string>

// While the DLL is loaded the framework's chain lists it and its
// registration put the host's class and factory lists back; a thread that
// starts and ends changes nothing; after FreeLibrary the chain is empty and
// the DLL gone.
void CheckRegistration(const std::wstring& dll);
// A copy of the module whose framework refuses the registration: LoadLibraryW
// fails and nothing stays loaded or registered.
void CheckRefusedAttach(const std::wstring& refusingDll);
