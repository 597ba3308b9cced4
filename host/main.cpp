// pavonize: the command-line host. Loads the recolouring library through
// the framework's loader (so its attach and detach run around every use),
// hands each INPUT/OUTPUT pair to its Pavonize, in one process, so every pair
// gets the generator's next colours, and unloads it. Its own words go to
// standard error; standard output carries only the library's messages.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "library_identity.h"
#include "library_location.h"
#include "loader.h"
#include "orvanepavonize/orvanepavonize.h"
#include "resource_container.h"
#include "utf8_to_utf16.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr uint16_t kLanguage = 0x0409;
constexpr uint16_t kVersionResourceId = 1;
constexpr uint16_t kTypeLibraryResourceId = 1;
constexpr uint16_t kSocketsFailedStringId = 101;

using PavonizeFunction = int32_t(PAVONIZE_CALL*)(const PavonizePathChar*, const PavonizePathChar*);

constexpr char kUsage[] = "usage: pavonize INPUT.bmp OUTPUT.bmp [INPUT OUTPUT]...\n";

constexpr char kHelp[] =
    "Recolour 8-bit BMP images in four random false colours.\n"
    "\n"
    "Each INPUT is read, its pixels are banded by grey level (0-63, 64-127,\n"
    "128-191, 192-255) and painted with four colours drawn afresh for every\n"
    "pair, and the result is written to OUTPUT (which may be INPUT itself).\n"
    "\n"
    "Options:\n"
    "  --help      show this help and exit\n"
    "  --version   show the version read from the library and exit\n"
    "  --about     show the library's version block, type library and\n"
    "              string table, and exit\n"
    "  --          treat every later argument as a path\n"
    "\n"
    "Standard output carries the library's messages only; this program's own\n"
    "words go to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  every pair was recoloured\n"
    "  1  an image could not be read, was refused, or could not be written\n"
    "  2  the command line was wrong\n";

int UsageError(const char* problem)
{
    std::fprintf(stderr, "pavonize: %s\n%s", problem, kUsage);
    return kExitUsage;
}

LoadedLibrary* LoadRecolouringLibrary()
{
    std::string path = LibraryPathNearHost(ORVANEPAVONIZE_LIBRARY_FILE);
    LoadedLibrary* library = LoaderLoadLibrary(path.c_str());
    if (library == nullptr) {
        std::fprintf(stderr, "pavonize: cannot load the recolouring library: %s\n",
                     LoaderLastProblem());
    }
    return library;
}

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

int ShowVersion(LoadedLibrary* library)
{
    VersionBlock block;
    if (!ReadVersionBlock(library, &block)) {
        std::fprintf(stderr, "pavonize: the library carries no readable version block\n");
        return kExitFailure;
    }
    std::fprintf(stderr, "%s %s\n", VersionString(block, "ProductName").c_str(),
                 DottedVersion(block.fileVersion).c_str());
    return 0;
}

const char* SyskindName(uint32_t syskind)
{
    static const char* const kNames[] = {"SYS_WIN16", "SYS_WIN32", "SYS_MAC", "SYS_WIN64"};
    return syskind < 4 ? kNames[syskind] : "unknown";
}

int ShowAbout(LoadedLibrary* library)
{
    VersionBlock block;
    if (!ReadVersionBlock(library, &block)) {
        std::fprintf(stderr, "pavonize: the library carries no readable version block\n");
        return kExitFailure;
    }
    std::fprintf(stderr, "Library: %s\n", LoaderLibraryPath(library));
    std::fprintf(stderr, "Version block:\n");
    std::fprintf(stderr, "  File version: %s\n", DottedVersion(block.fileVersion).c_str());
    std::fprintf(stderr, "  Product version: %s\n", DottedVersion(block.productVersion).c_str());
    std::fprintf(stderr, "  Flags: 0x%X (mask 0x%X)\n", block.fileFlags, block.fileFlagsMask);
    std::fprintf(stderr, "  Operating system: 0x%X\n", block.fileOs);
    std::fprintf(stderr, "  File type: 0x%X, subtype 0x%X\n", block.fileType, block.fileSubtype);
    std::fprintf(stderr, "  Translation: 0x%04X, 0x%04X\n", block.translationLanguage,
                 block.translationCodePage);
    std::fprintf(stderr, "  String table %s:\n", block.stringTableKey.c_str());
    for (const auto& [key, value] : block.strings) {
        std::fprintf(stderr, "    %s: \"%s\"\n", key.c_str(), value.c_str());
    }

    size_t bytes = 0;
    const uint8_t* resource =
        FrameworkFindResource(library, "TYPELIB", kTypeLibraryResourceId, kLanguage, &bytes);
    TypeLibrarySummary typeLibrary;
    if (DecodeTypeLibrary(resource, bytes, &typeLibrary)) {
        std::fprintf(stderr, "Type library: %s %u.%u, LCID %u, %s, %s\n", typeLibrary.name.c_str(),
                     typeLibrary.majorVersion, typeLibrary.minorVersion, typeLibrary.lcid,
                     SyskindName(typeLibrary.syskind), typeLibrary.guid.c_str());
    } else {
        std::fprintf(stderr, "Type library: none\n");
    }

    resource = FrameworkFindResource(library, kResourceTypeString, kSocketsFailedStringId / 16 + 1,
                                     kLanguage, &bytes);
    std::string text;
    if (DecodeStringFromBlock(resource, bytes, kSocketsFailedStringId, &text)) {
        std::fprintf(stderr, "String %u: \"%s\"\n", kSocketsFailedStringId, text.c_str());
    } else {
        std::fprintf(stderr, "String %u: none\n", kSocketsFailedStringId);
    }
    return 0;
}

using LibraryReport = int (*)(LoadedLibrary* library);

int ReportOnLibrary(LibraryReport report)
{
    LoadedLibrary* library = LoadRecolouringLibrary();
    if (library == nullptr) {
        return kExitFailure;
    }
    int status = report(library);
    LoaderUnloadLibrary(library);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    // A reader that goes away or a file-size limit then fails the write, and
    // the library reports it, instead of the signal ending the process.
#if defined(SIGPIPE) && defined(SIGXFSZ)
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!optionsEnded && argument[0] == '-' && argument[1] == '-') {
            if (std::strcmp(argument, "--") == 0) {
                optionsEnded = true;
            } else if (std::strcmp(argument, "--help") == 0) {
                std::fprintf(stderr, "%s\n%s", kUsage, kHelp);
                return 0;
            } else if (std::strcmp(argument, "--version") == 0) {
                return ReportOnLibrary(ShowVersion);
            } else if (std::strcmp(argument, "--about") == 0) {
                return ReportOnLibrary(ShowAbout);
            } else {
                std::string problem = std::string("unknown option ") + argument;
                return UsageError(problem.c_str());
            }
            continue;
        }
        paths.emplace_back(argument);
    }
    if (paths.empty() || paths.size() % 2 != 0) {
        return UsageError("expected pairs of INPUT and OUTPUT paths");
    }
    // Every argument is checked before the first image is touched.
    std::vector<std::u16string> widePaths(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!Utf8ToUtf16(paths[i], &widePaths[i])) {
            std::string problem = "path " + std::to_string(i + 1) + " is not valid UTF-8";
            return UsageError(problem.c_str());
        }
    }
    LoadedLibrary* library = LoadRecolouringLibrary();
    if (library == nullptr) {
        return kExitFailure;
    }
    auto pavonize = reinterpret_cast<PavonizeFunction>(LoaderFindExport(library, "Pavonize"));
    if (pavonize == nullptr) {
        std::fprintf(stderr, "pavonize: the library exports no Pavonize\n");
        LoaderUnloadLibrary(library);
        return kExitFailure;
    }
    int status = 0;
    for (size_t i = 0; i < widePaths.size() && status == 0; i += 2) {
        if (pavonize(reinterpret_cast<const PavonizePathChar*>(widePaths[i].c_str()),
                     reinterpret_cast<const PavonizePathChar*>(widePaths[i + 1].c_str())) !=
            PAVONIZE_DONE) {
            status = kExitFailure;
        }
    }
    LoaderUnloadLibrary(library);
    return status;
}
