// Every value of the module's identity resources, once in the product. The
// generator turns them into the platform's binary resource layouts; nothing
// else of the product reads them but through the resources, found by the
// identifiers of identity_ids.h. The tests state what they expect on their
// own (tests/support/expected_identity.h), so that a wrong value here fails.
// The version numbers come from the build (project(VERSION) in
// CMakeLists.txt), as ORVANEPAVONIZE_VERSION_MAJOR and the others.
#pragma once

#include <cstdint>

#include "identity_ids.h"

#ifndef ORVANEPAVONIZE_VERSION_MAJOR
#error "the build defines the version numbers (shell/identity/CMakeLists.txt)"
#endif

#define ORVANEPAVONIZE_TEXT_OF(value) #value
#define ORVANEPAVONIZE_TEXT(value) ORVANEPAVONIZE_TEXT_OF(value)
// "1, 0, 0, 1": the version as the version block's strings show it.
#define ORVANEPAVONIZE_VERSION_TEXT                                                  \
    ORVANEPAVONIZE_TEXT(ORVANEPAVONIZE_VERSION_MAJOR)                                \
    ", " ORVANEPAVONIZE_TEXT(ORVANEPAVONIZE_VERSION_MINOR) ", " ORVANEPAVONIZE_TEXT( \
        ORVANEPAVONIZE_VERSION_PATCH) ", " ORVANEPAVONIZE_TEXT(ORVANEPAVONIZE_VERSION_TWEAK)

namespace identity {

inline constexpr uint16_t kCodePage = 0x04B0;  // Unicode

// ---- Version block, resource 1 ----------------------------------------------
inline constexpr uint16_t kFileVersion[4] = {
    ORVANEPAVONIZE_VERSION_MAJOR, ORVANEPAVONIZE_VERSION_MINOR, ORVANEPAVONIZE_VERSION_PATCH,
    ORVANEPAVONIZE_VERSION_TWEAK};
inline constexpr uint16_t kProductVersion[4] = {
    ORVANEPAVONIZE_VERSION_MAJOR, ORVANEPAVONIZE_VERSION_MINOR, ORVANEPAVONIZE_VERSION_PATCH,
    ORVANEPAVONIZE_VERSION_TWEAK};
inline constexpr uint32_t kFileFlagsMask = 0x3F;
inline constexpr uint32_t kFileFlags = 0;
inline constexpr uint32_t kFileOs = 0x4;    // 32-bit Windows
inline constexpr uint32_t kFileType = 0x2;  // dynamic-link library
inline constexpr uint32_t kFileSubtype = 0;
inline constexpr char kStringTableKey[] = "040904B0";

struct VersionString {
    const char* key;
    const char* value;
};

// Every key is written, empty values included, in this order.
inline constexpr VersionString kVersionStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", "OrvanePavonize DLL"},
    {"FileVersion", ORVANEPAVONIZE_VERSION_TEXT},
    {"InternalName", "OrvanePavonize"},
    {"LegalCopyright", "Copyright (C) 2026 the OrvanePavonize authors"},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "OrvanePavonize.DLL"},
    {"ProductName", "OrvanePavonize Dynamic Link Library"},
    {"ProductVersion", ORVANEPAVONIZE_VERSION_TEXT},
    {"OLESelfRegister", ""},
};

// ---- Type library, resource "TYPELIB" 1 ---------------------------------------
inline constexpr char kTypeLibraryName[] = "OrvanePavonize";
inline constexpr uint16_t kTypeLibraryMajor = 1;
inline constexpr uint16_t kTypeLibraryMinor = 0;
inline constexpr uint32_t kTypeLibraryLcid = 0x0409;
inline constexpr uint32_t kTypeLibrarySyskind = 1;  // SYS_WIN32
// {B8E7BBE7-432A-4287-8C53-B4FF01E93A5C}, the library's own.
inline constexpr uint32_t kTypeLibraryGuidData1 = 0xB8E7BBE7;
inline constexpr uint16_t kTypeLibraryGuidData2 = 0x432A;
inline constexpr uint16_t kTypeLibraryGuidData3 = 0x4287;
inline constexpr uint8_t kTypeLibraryGuidData4[8] = {0x8C, 0x53, 0xB4, 0xFF,
                                                     0x01, 0xE9, 0x3A, 0x5C};

// ---- String table ---------------------------------------------------------------
inline constexpr char kSocketsFailedString[] = "Windows sockets initialization failed.";

}  // namespace identity
