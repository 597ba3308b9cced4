// Reads the recolouring library's identity resources for --version and
// --about: the version block, the type library's header and one string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct VersionBlock {
    uint16_t fileVersion[4] = {};
    uint16_t productVersion[4] = {};
    uint32_t fileFlagsMask = 0;
    uint32_t fileFlags = 0;
    uint32_t fileOs = 0;
    uint32_t fileType = 0;
    uint32_t fileSubtype = 0;
    std::string stringTableKey;
    std::vector<std::pair<std::string, std::string>> strings;  // in file order
    uint16_t translationLanguage = 0;
    uint16_t translationCodePage = 0;
};

struct TypeLibrarySummary {
    std::string name;
    uint16_t majorVersion = 0;
    uint16_t minorVersion = 0;
    uint32_t lcid = 0;
    uint32_t syskind = 0;
    std::string guid;  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
};

bool DecodeVersionBlock(const uint8_t* bytes, size_t byteCount, VersionBlock* block);
bool DecodeTypeLibrary(const uint8_t* bytes, size_t byteCount, TypeLibrarySummary* summary);
// String `id` from the string-table block that holds it.
bool DecodeStringFromBlock(const uint8_t* bytes, size_t byteCount, uint16_t id, std::string* text);

// The value of `key` in the block's string table, or "" when absent.
std::string VersionString(const VersionBlock& block, const char* key);
