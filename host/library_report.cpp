#include "library_report.h"

#include <cstdio>
#include <string>

#include "library_identity.h"
#include "resource_container.h"
#include "shell/identity/identity_ids.h"

namespace {

constexpr int kExitFailure = 1;
using identity::kLanguage;
using identity::kSocketsFailedStringId;
using identity::kTypeLibraryResourceId;
using identity::kVersionResourceId;
constexpr char kLicenceLines[] =
    "License MIT <https://opensource.org/license/mit>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

bool ReadVersionBlock(LoadedLibrary* library, VersionBlock* block)
{
    size_t bytes = 0;
    const uint8_t* resource =
        FrameworkFindResource(library, kResourceTypeVersion, kVersionResourceId, kLanguage, &bytes);
    return DecodeVersionBlock(resource, bytes, block);
}

std::string DottedVersion(const uint16_t version[4])
{
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}

const char* SyskindName(uint32_t syskind)
{
    static const char* const kNames[] = {"SYS_WIN16", "SYS_WIN32", "SYS_MAC", "SYS_WIN64"};
    return syskind < 4 ? kNames[syskind] : "unknown";
}

}  // namespace

int ShowVersion(LoadedLibrary* library)
{
    VersionBlock block;
    if (!ReadVersionBlock(library, &block)) {
        std::fprintf(stderr, "pavonize: the library carries no readable version block\n");
        return kExitFailure;
    }
    std::fprintf(stdout, "pavonize (%s) %s\n", ORVANEPAVONIZE_PACKAGE_NAME,
                 DottedVersion(block.fileVersion).c_str());
    // The copyright is the library's own, as its version block states it.
    for (const auto& [key, value] : block.strings) {
        if (key == "LegalCopyright" && !value.empty()) {
            std::fprintf(stdout, "%s\n", value.c_str());
        }
    }
    std::fputs(kLicenceLines, stdout);
    return 0;
}

int ShowAbout(LoadedLibrary* library)
{
    VersionBlock block;
    if (!ReadVersionBlock(library, &block)) {
        std::fprintf(stderr, "pavonize: the library carries no readable version block\n");
        return kExitFailure;
    }
    std::fprintf(stdout, "Library: %s\n", LoaderLibraryPath(library));
    std::fprintf(stdout, "Version block:\n");
    std::fprintf(stdout, "  File version: %s\n", DottedVersion(block.fileVersion).c_str());
    std::fprintf(stdout, "  Product version: %s\n", DottedVersion(block.productVersion).c_str());
    std::fprintf(stdout, "  Flags: 0x%X (mask 0x%X)\n", block.fileFlags, block.fileFlagsMask);
    std::fprintf(stdout, "  Operating system: 0x%X\n", block.fileOs);
    std::fprintf(stdout, "  File type: 0x%X, subtype 0x%X\n", block.fileType, block.fileSubtype);
    std::fprintf(stdout, "  Translation: 0x%04X, 0x%04X\n", block.translationLanguage,
                 block.translationCodePage);
    std::fprintf(stdout, "  String table %s:\n", block.stringTableKey.c_str());
    for (const auto& [key, value] : block.strings) {
        std::fprintf(stdout, "    %s: \"%s\"\n", key.c_str(), value.c_str());
    }

    size_t bytes = 0;
    const uint8_t* resource =
        FrameworkFindResource(library, "TYPELIB", kTypeLibraryResourceId, kLanguage, &bytes);
    TypeLibrarySummary typeLibrary;
    if (DecodeTypeLibrary(resource, bytes, &typeLibrary)) {
        std::fprintf(stdout, "Type library: %s %u.%u, LCID %u, %s, %s\n", typeLibrary.name.c_str(),
                     typeLibrary.majorVersion, typeLibrary.minorVersion, typeLibrary.lcid,
                     SyskindName(typeLibrary.syskind), typeLibrary.guid.c_str());
    } else {
        std::fprintf(stdout, "Type library: none\n");
    }

    resource =
        FrameworkFindResource(library, kResourceTypeString,
                              identity::StringBlockId(kSocketsFailedStringId), kLanguage, &bytes);
    std::string text;
    if (DecodeStringFromBlock(resource, bytes, kSocketsFailedStringId, &text)) {
        std::fprintf(stdout, "String %u: \"%s\"\n", kSocketsFailedStringId, text.c_str());
    } else {
        std::fprintf(stdout, "String %u: none\n", kSocketsFailedStringId);
    }
    return 0;
}
