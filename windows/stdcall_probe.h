// Tells the calling conventions of 32-bit x86 apart at run time: __stdcall
// functions remove their arguments from the stack, __cdecl ones leave them
// to the caller. A wrong convention in a DLL goes unnoticed until a caller's
// stack is off by the argument bytes.
#pragma once

#include <cstdint>

#if defined(__i386__)
// Calls `function(first, second)` and stores in `removedBytes` how many
// argument bytes the callee took off the stack: 8 for __stdcall, 0 for
// __cdecl. Returns the function's 32-bit result.
extern "C" int32_t CallCountingRemovedBytes(const void* function, const void* first,
                                            const void* second, int32_t* removedBytes);
#endif
