// File access through Win32 handles. Paths arrive in the ANSI code page, so
// the ...A calls open them. Reads and writes move large blocks at given
// offsets, and the output replaces its target in one MoveFileEx.
#include "platform.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// ReadFile and WriteFile take a 32-bit count; larger requests go in pieces.
constexpr size_t kMaxBytesPerCall = 1u << 30;

HANDLE Win32Handle(PlatformHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}
PlatformHandle FromWin32Handle(HANDLE handle)
{
    return reinterpret_cast<PlatformHandle>(handle);
}

// Tells temporary files of one process apart when a host saves several.
std::atomic<unsigned> temporaryCounter{0};

char* CopyString(const char* text)
{
    size_t bytes = std::strlen(text) + 1;
    char* copy = static_cast<char*>(PlatformAllocate(bytes));
    if (copy != nullptr) {
        std::memcpy(copy, text, bytes);
    }
    return copy;
}

void ReleaseOutputPaths(PlatformOutput* output)
{
    PlatformRelease(output->temporaryPath);
    PlatformRelease(output->targetPath);
    output->temporaryPath = nullptr;
    output->targetPath = nullptr;
}

// Creates "<target>.<pid>-<n>.tmp" beside the target, so the final move
// stays on one volume and is a rename.
bool CreateTemporaryBeside(const char* target, PlatformOutput* output)
{
    size_t bytes = std::strlen(target) + 48;
    char* temporary = static_cast<char*>(PlatformAllocate(bytes));
    if (temporary == nullptr) {
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::snprintf(temporary, bytes, "%s.%lu-%u.tmp", target,
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      temporaryCounter.fetch_add(1));
        HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            output->handle = FromWin32Handle(file);
            output->temporaryPath = temporary;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    PlatformRelease(temporary);
    return false;
}

bool IsDirectory(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

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
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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

bool PlatformBeginOutput(const char* path, PlatformOutput* output)
{
    *output = PlatformOutput{};
    if (path == nullptr || path[0] == 0) {
        return false;
    }
    if (IsDirectory(GetFileAttributesA(path))) {
        return false;
    }
    // Asking for no access is enough to learn what the path names.
    HANDLE existing = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool exists = existing != INVALID_HANDLE_VALUE;
    bool isDevice = exists && GetFileType(existing) != FILE_TYPE_DISK;
    if (exists) {
        CloseHandle(existing);
    }
    if (isDevice) {
        // NUL, a console, a pipe: nothing to rename over, so written
        // straight through.
        HANDLE device = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (device == INVALID_HANDLE_VALUE) {
            return false;
        }
        output->handle = FromWin32Handle(device);
        return true;
    }
    output->targetPath = CopyString(path);
    output->replacesExisting = exists;
    if (output->targetPath == nullptr || !CreateTemporaryBeside(path, output)) {
        ReleaseOutputPaths(output);
        return false;
    }
    return true;
}

bool PlatformWrite(PlatformOutput* output, const void* bytes, size_t byteCount)
{
    const auto* source = static_cast<const unsigned char*>(bytes);
    while (byteCount > 0) {
        DWORD wanted =
            static_cast<DWORD>(byteCount < kMaxBytesPerCall ? byteCount : kMaxBytesPerCall);
        DWORD written = 0;
        if (!WriteFile(Win32Handle(output->handle), source, wanted, &written, nullptr) ||
            written == 0) {
            return false;
        }
        source += written;
        byteCount -= written;
    }
    return true;
}

bool PlatformFinishOutput(PlatformOutput* output)
{
    HANDLE file = Win32Handle(output->handle);
    output->handle = kNoPlatformHandle;
    // Replacing an existing image: its bytes must be on disk before the
    // move, or a crash could leave an empty file where the image was.
    bool good =
        !(output->temporaryPath != nullptr && output->replacesExisting && !FlushFileBuffers(file));
    good = CloseHandle(file) && good;
    if (output->temporaryPath != nullptr) {
        good = good && MoveFileExA(output->temporaryPath, output->targetPath,
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!good) {
            DeleteFileA(output->temporaryPath);
        }
    }
    ReleaseOutputPaths(output);
    return good;
}

void PlatformAbandonOutput(PlatformOutput* output)
{
    if (output->handle != kNoPlatformHandle) {
        CloseHandle(Win32Handle(output->handle));
        output->handle = kNoPlatformHandle;
    }
    if (output->temporaryPath != nullptr) {
        DeleteFileA(output->temporaryPath);
    }
    ReleaseOutputPaths(output);
}
