// The identity values the tests expect to read back from the library, once
// for the Linux tests and the Windows host alike. They are written out here
// rather than taken from shell/identity/identity_values.h, so that a wrong
// value there is caught, not copied.
#pragma once

#include <cstdint>

namespace expected_identity {

struct VersionString {
    const char* key;
    const char* value;
};

// Every key of string table 040904B0, empty values included, in order.
inline constexpr VersionString kVersionStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", "OrvanePavonize DLL"},
    {"FileVersion", "1, 0, 0, 1"},
    {"InternalName", "OrvanePavonize"},
    {"LegalCopyright", "Copyright (C) 2026 the OrvanePavonize authors"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "OrvanePavonize.DLL"},
    {"ProductName", "OrvanePavonize Dynamic Link Library"},
    {"ProductVersion", "1, 0, 0, 1"},
    {"OLESelfRegister", ""},
};

// The fixed part's file and product version, as dotted text and as the
// two 32-bit halves.
inline constexpr char kVersion[] = "1.0.0.1";
inline constexpr uint32_t kVersionHigh = 0x00010000;
inline constexpr uint32_t kVersionLow = 0x00000001;
inline constexpr char kProductName[] = "OrvanePavonize Dynamic Link Library";

inline constexpr char kTypeLibraryName[] = "OrvanePavonize";
inline constexpr char kTypeLibraryGuid[] = "{B8E7BBE7-432A-4287-8C53-B4FF01E93A5C}";
inline constexpr uint32_t kTypeLibraryGuidData1 = 0xB8E7BBE7;
inline constexpr uint16_t kTypeLibraryGuidData2 = 0x432A;
inline constexpr uint16_t kTypeLibraryGuidData3 = 0x4287;
inline constexpr uint8_t kTypeLibraryGuidData4[8] = {0x8C, 0x53, 0xB4, 0xFF,
                                                     0x01, 0xE9, 0x3A, 0x5C};

inline constexpr char kString101[] = "Windows sockets initialization failed.";

}  // namespace expected_identity
