// Where the module's identity resources are found: their identifiers and
// language, which the library's resources carry and every reader of them
// (the command line's --version and --about) looks them up by.
#pragma once

#include <cstdint>

namespace identity {

inline constexpr uint16_t kLanguage = 0x0409;  // US English
inline constexpr uint16_t kVersionResourceId = 1;
inline constexpr uint16_t kTypeLibraryResourceId = 1;
inline constexpr uint16_t kSocketsFailedStringId = 101;

// A string-table resource holds strings in blocks of sixteen; block n has
// strings 16(n-1) to 16(n-1)+15.
inline constexpr uint16_t kStringsPerBlock = 16;
inline constexpr uint16_t StringBlockId(uint16_t stringId)
{
    return static_cast<uint16_t>(stringId / kStringsPerBlock + 1);
}

}  // namespace identity
