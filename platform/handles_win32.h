// What the Win32 file layer's input and output halves share.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform.h"

// ReadFile and WriteFile take a 32-bit count; larger requests go in pieces.
constexpr size_t kMaxBytesPerCall = 1u << 30;

inline HANDLE Win32Handle(PlatformHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

inline PlatformHandle FromWin32Handle(HANDLE handle)
{
    return reinterpret_cast<PlatformHandle>(handle);
}

inline bool IsDirectory(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
