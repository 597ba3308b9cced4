#include "paths.h"

#include <stdexcept>

#include "utf8_to_utf16.h"

std::u16string Utf16(const std::string& utf8)
{
    std::u16string wide;
    if (!Utf8ToUtf16(utf8, &wide)) {
        throw std::invalid_argument("test path is not UTF-8");
    }
    return wide;
}
