// Linux has no ANSI code page; UTF-8 stands in for it, since that is what
// file names are on every current Linux system.
#include "platform.h"

namespace {
// What an unpaired surrogate becomes, like a code page's default character.
constexpr char kDefaultCharacter = '?';
// UTF-8 needs at most 3 bytes per 16-bit unit: a BMP character takes up to
// 3, and a surrogate pair (2 units) takes 4.
constexpr size_t kMaxBytesPerUnit = 3;

bool IsHighSurrogate(char32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
}  // namespace

size_t PlatformNarrowBufferBytes(size_t units)
{
    return units * kMaxBytesPerUnit + 1;
}

bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowBytes)
{
    if (narrowBytes == 0) {
        return false;
    }
    size_t used = 0;
    auto put = [&](char32_t byte) {
        if (used + 1 >= narrowBytes) {  // keep room for the terminator
            return false;
        }
        narrow[used++] = static_cast<char>(byte);
        return true;
    };
    for (size_t i = 0; wide[i] != 0; ++i) {
        char32_t code = wide[i];
        if (IsHighSurrogate(code) && IsLowSurrogate(wide[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
            code = kDefaultCharacter;
        }
        bool fits = true;
        if (code < 0x80) {
            fits = put(code);
        } else if (code < 0x800) {
            fits = put(0xC0 | (code >> 6)) && put(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            fits = put(0xE0 | (code >> 12)) && put(0x80 | ((code >> 6) & 0x3F)) &&
                   put(0x80 | (code & 0x3F));
        } else {
            fits = put(0xF0 | (code >> 18)) && put(0x80 | ((code >> 12) & 0x3F)) &&
                   put(0x80 | ((code >> 6) & 0x3F)) && put(0x80 | (code & 0x3F));
        }
        if (!fits) {
            narrow[0] = 0;
            return false;
        }
    }
    narrow[used] = 0;
    return true;
}
