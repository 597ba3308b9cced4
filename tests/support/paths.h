#pragma once

#include <string>

// UTF-16 form of an ASCII or UTF-8 test path.
std::u16string Utf16(const std::string& utf8);
