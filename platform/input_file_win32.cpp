// Reading an input through a Win32 handle: large reads at given offsets
// move the pixel area in one piece.
#include "handles_win32.h"
#include "platform.h"

InputOpenResult PlatformOpenInput(const char* path, PlatformHandle* handle, int64_t* fileBytes)
{
    *handle = kNoPlatformHandle;
    if (path == nullptr || path[0] == 0) {
        return InputOpenResult::CannotOpen;
    }
    // CreateFile refuses a directory without saying so; ask first.
    if (IsDirectory(GetFileAttributesA(path))) {
        return InputOpenResult::IsDirectory;
    }
    // Shared as the C runtime's "rb" shares: a file another program holds
    // open for writing, or has marked for deletion, can still be read.
    HANDLE file = CreateFileA(
        path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return InputOpenResult::CannotOpen;
    }
    // Pipes, consoles and devices have no size to check the image against.
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return InputOpenResult::NotRegularFile;
    }
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return InputOpenResult::CannotOpen;
    }
    *handle = FromWin32Handle(file);
    *fileBytes = size.QuadPart;
    return InputOpenResult::Opened;
}

bool PlatformReadAt(PlatformHandle handle, int64_t offset, void* buffer, size_t byteCount)
{
    auto* destination = static_cast<unsigned char*>(buffer);
    while (byteCount > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        DWORD wanted =
            static_cast<DWORD>(byteCount < kMaxBytesPerCall ? byteCount : kMaxBytesPerCall);
        DWORD got = 0;
        if (!ReadFile(Win32Handle(handle), destination, wanted, &got, &at) || got == 0) {
            return false;
        }
        destination += got;
        offset += got;
        byteCount -= got;
    }
    return true;
}

void PlatformCloseInput(PlatformHandle handle)
{
    if (handle != kNoPlatformHandle) {
        CloseHandle(Win32Handle(handle));
    }
}
