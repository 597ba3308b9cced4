// Strict UTF-8 to UTF-16 for command-line arguments.
#pragma once

#include <string>

// Decodes `utf8` into `utf16`. Returns false for anything that is not valid
// UTF-8 (stray continuation bytes, truncated or overlong sequences, encoded
// surrogates, code points past U+10FFFF): such a path is refused, never
// guessed at.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16);
