// Wide paths become paths in the ANSI code page, which is what the ...A file
// calls expect.
#include "platform.h"

#include <windows.h>

#include <climits>

namespace {
// Double-byte code pages give at most two bytes per character, so
// (units + 1) x 2 bytes always hold the result and its terminator. A system
// whose ANSI code page is UTF-8 needs up to three bytes per unit.
constexpr size_t kDoubleByteCharacter = 2;
}  // namespace

size_t PlatformNarrowBufferBytes(size_t units)
{
    CPINFO codePage{};
    size_t maxCharBytes =
        GetCPInfo(CP_ACP, &codePage) ? codePage.MaxCharSize : kDoubleByteCharacter;
    if (maxCharBytes <= kDoubleByteCharacter) {
        return (units + 1) * kDoubleByteCharacter;
    }
    return units * maxCharBytes + 1;
}

bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowBytes)
{
    if (narrowBytes == 0) {
        return false;
    }
    int bytes = narrowBytes > INT_MAX ? INT_MAX : static_cast<int>(narrowBytes);
    // No default character of our own and no flags: a character the code
    // page lacks becomes the code page's default character. -1 converts the
    // terminator too.
    int written = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(wide), -1, narrow,
                                      bytes, nullptr, nullptr);
    if (written == 0) {
        narrow[0] = 0;
        return false;
    }
    return true;
}
