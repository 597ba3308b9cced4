// Writing an output through Win32 handles. Paths arrive in the ANSI code
// page, so the ...A calls open them. An existing output is opened for
// writing first, so a read-only one is refused as "wb" would refuse it, and
// then replaced with ReplaceFile, which keeps its attributes and access
// control list.
#include "fault_injection.h"
#include "handles_win32.h"
#include "output_names.h"
#include "output_steps.h"
#include "platform.h"

#include <cstring>

namespace {

char* CopyString(const char* text)
{
    return CopyText(text, std::strlen(text));
}

// True when an injected fault makes this step fail; sets the last error as
// the call would.
bool FaultFires(FaultPoint point)
{
    if (!FaultInjected(point)) {
        return false;
    }
    SetLastError(point == FaultPoint::Write ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
    return true;
}

// Creates a short-named temporary in the target's folder, so the final move
// stays on one volume and the name fits whatever the target's length.
bool CreateTemporaryBeside(const char* target, PlatformOutput* output)
{
    const char* slash = std::strrchr(target, '\\');
    const char* otherSlash = std::strrchr(target, '/');
    if (otherSlash != nullptr && (slash == nullptr || otherSlash > slash)) {
        slash = otherSlash;
    }
    size_t folderBytes = slash == nullptr ? 0 : static_cast<size_t>(slash - target) + 1;
    size_t bytes = folderBytes + kTemporaryNameBytes;
    char* temporary = static_cast<char*>(PlatformAllocate(bytes));
    if (temporary == nullptr) {
        return false;
    }
    std::memcpy(temporary, target, folderBytes);
    for (int attempt = 0; attempt < 100; ++attempt) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        char name[kTemporaryNameBytes];
        TemporaryName(name, static_cast<uint64_t>(now.QuadPart) ^
                                (static_cast<uint64_t>(GetCurrentProcessId()) << 32));
        std::memcpy(temporary + folderBytes, name, sizeof name);
        HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            output->handle = FromWin32Handle(file);
            output->temporaryName = temporary;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    PlatformRelease(temporary);
    return false;
}

// The path of the file `file` finally is: a symbolic link is followed, so the
// link stays a link and what it names is replaced.
char* FinalPath(HANDLE file, const char* path)
{
    DWORD bytes = GetFinalPathNameByHandleA(file, nullptr, 0, FILE_NAME_NORMALIZED);
    char* finalPath = bytes == 0 ? nullptr : static_cast<char*>(PlatformAllocate(bytes + 1));
    if (finalPath != nullptr) {
        DWORD written = GetFinalPathNameByHandleA(file, finalPath, bytes + 1, FILE_NAME_NORMALIZED);
        if (written > 0 && written <= bytes) {
            return finalPath;
        }
        PlatformRelease(finalPath);
    }
    return CopyString(path);
}

}  // namespace

void ReleaseOutput(PlatformOutput* output)
{
    if (output->handle != kNoPlatformHandle) {
        CloseHandle(Win32Handle(output->handle));
    }
    if (output->temporaryName != nullptr) {
        DeleteFileA(output->temporaryName);
    }
    PlatformRelease(output->temporaryName);
    PlatformRelease(output->targetName);
    *output = PlatformOutput{};
}

bool PlatformBeginOutput(const char* path, PlatformOutput* output)
{
    *output = PlatformOutput{};
    if (path == nullptr || path[0] == 0 || IsDirectory(GetFileAttributesA(path))) {
        return false;
    }
    // Opened for writing as the caller, without truncating: the read-only
    // attribute, or an access control list that denies writing, refuses
    // the output here, before anything changes.
    HANDLE existing =
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            return false;
        }
        output->targetName = CopyString(path);
        if (output->targetName == nullptr || !CreateTemporaryBeside(path, output)) {
            ReleaseOutput(output);
            return false;
        }
        output->route = OutputRoute::NewFile;
        return true;
    }
    if (GetFileType(existing) != FILE_TYPE_DISK) {
        // NUL, a console, a pipe: nothing to replace, so written straight
        // through.
        output->handle = FromWin32Handle(existing);
        output->route = OutputRoute::StraightThrough;
        return true;
    }
    output->handle = FromWin32Handle(existing);
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(existing, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        // Some file systems let a privileged caller open a read-only file
        // for writing; it is refused all the same.
        ReleaseOutput(output);
        return false;
    }
    if (information.nNumberOfLinks > 1) {
        // Replacing would leave the other names with the old image: the
        // file is rewritten in place, as "wb" would, but cut to length only
        // once the image is written.
        output->route = OutputRoute::InPlace;
        return true;
    }
    output->route = OutputRoute::Replacement;
    output->targetName = FinalPath(existing, path);
    CloseHandle(existing);
    output->handle = kNoPlatformHandle;
    if (output->targetName == nullptr || !CreateTemporaryBeside(output->targetName, output)) {
        ReleaseOutput(output);
        return false;
    }
    // ReplaceFile carries these over too; set here as well, for
    // implementations of it that do not.
    SetFileAttributesA(output->temporaryName,
                       information.dwFileAttributes &
                           (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
    return true;
}

bool PlatformReserveOutput(PlatformOutput* output, int64_t byteCount)
{
    if (output->route == OutputRoute::StraightThrough) {
        return true;
    }
    if (FaultFires(FaultPoint::Reserve)) {
        return false;
    }
    // An allocation below the file's size would cut it: only ever grown.
    HANDLE file = Win32Handle(output->handle);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart >= byteCount) {
        return true;
    }
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = byteCount;
    if (SetFileInformationByHandle(file, FileAllocationInfo, &allocation, sizeof allocation)) {
        return true;
    }
    // A file system that cannot reserve space writes without.
    DWORD error = GetLastError();
    return error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL &&
           error != ERROR_FILE_TOO_LARGE;
}

bool PlatformWrite(PlatformOutput* output, const void* bytes, size_t byteCount)
{
    const auto* source = static_cast<const unsigned char*>(bytes);
    while (byteCount > 0) {
        DWORD wanted =
            static_cast<DWORD>(byteCount < kMaxBytesPerCall ? byteCount : kMaxBytesPerCall);
        DWORD written = 0;
        if (FaultFires(FaultPoint::Write) ||
            !WriteFile(Win32Handle(output->handle), source, wanted, &written, nullptr) ||
            written == 0) {
            return false;
        }
        source += written;
        byteCount -= written;
    }
    return true;
}

bool OutputFaultFires(FaultPoint point)
{
    return FaultFires(point);
}

bool CutOutputToWritten(PlatformOutput* output)
{
    return SetEndOfFile(Win32Handle(output->handle));
}

bool SyncOutput(PlatformOutput* output)
{
    return FlushFileBuffers(Win32Handle(output->handle));
}

// ReplaceFile gives the replacement the old file's attributes and access
// control list when it puts it in place.
bool GiveReplacementItsAttributes(PlatformOutput*)
{
    return true;
}

// Windows cannot name an open file anew: the temporary has its name from the
// start.
bool NameOutputBeforeClose(PlatformOutput*)
{
    return true;
}

bool CloseOutput(PlatformOutput* output)
{
    HANDLE file = Win32Handle(output->handle);
    output->handle = kNoPlatformHandle;
    return CloseHandle(file);
}

void UndoNamingBeforeClose(PlatformOutput*) {}

bool PutTemporaryInPlace(PlatformOutput* output)
{
    // ReplaceFile gives the new file the replaced one's attributes and access
    // control list; a new file is simply moved into place.
    return output->route == OutputRoute::Replacement
               ? ReplaceFileA(output->targetName, output->temporaryName, nullptr, 0, nullptr,
                              nullptr)
               : MoveFileExA(output->temporaryName, output->targetName,
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
