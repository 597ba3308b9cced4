// Windows' loader calls DllMain for process and thread attach and detach,
// through the C runtime's DLL start-up: it runs the runtime's own static
// initialisation before the process-attach call and its shut-down after the
// process-detach call. The module itself has no static objects.
#include <windows.h>

#include "loader.h"
#include "shell.h"

static_assert(DLL_PROCESS_DETACH == kReasonProcessDetach);
static_assert(DLL_PROCESS_ATTACH == kReasonProcessAttach);
static_assert(DLL_THREAD_ATTACH == kReasonThreadAttach);
static_assert(DLL_THREAD_DETACH == kReasonThreadDetach);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    // A false return on process attach makes LoadLibrary fail.
    return LibraryEntryPoint(instance, reason, reserved) ? TRUE : FALSE;
}
