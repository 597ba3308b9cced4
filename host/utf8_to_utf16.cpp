#include "utf8_to_utf16.h"

bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16)
{
    utf16->clear();
    size_t i = 0;
    while (i < utf8.size()) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        int continuation = 0;
        char32_t code = 0;
        char32_t smallest = 0;  // below this the sequence is overlong
        if (lead < 0x80) {
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            continuation = 1, code = lead & 0x1F, smallest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuation = 2, code = lead & 0x0F, smallest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuation = 3, code = lead & 0x07, smallest = 0x10000;
        } else {
            return false;
        }
        if (utf8.size() - i - 1 < static_cast<size_t>(continuation)) {
            return false;
        }
        for (int k = 1; k <= continuation; ++k) {
            auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            utf16->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            utf16->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            utf16->push_back(static_cast<char16_t>(code));
        }
        i += 1 + continuation;
    }
    return true;
}
