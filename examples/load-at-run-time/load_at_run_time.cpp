// load_at_run_time LIBRARY INPUT.bmp OUTPUT.bmp
//
// Loads the library from the path LIBRARY (for example
// /usr/lib/liborvanepavonize.so.1) while running, through the framework's
// loader, so its attach and detach run as in any host of the framework. It
// reads the file version from the library's version block, finds Pavonize
// by its plain name, calls it once and unloads the library again. Nothing of
// the library itself is linked in; the header gives the function's type.
#include <loader.h>

#include <cstdio>
#include <string>

#include <orvanepavonize/orvanepavonize.h>

namespace {

using PavonizeFunction = decltype(&Pavonize);

constexpr char kVersionResourceType[] = "#16";  // RT_VERSION
constexpr uint16_t kVersionResourceId = 1;
constexpr uint16_t kUsEnglish = 0x0409;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;

uint32_t Le32(const uint8_t* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// The file version from the fixed part of a VS_VERSIONINFO block, which
// starts with its signature on a four-byte boundary; false when absent.
bool FileVersion(const uint8_t* block, size_t bytes, unsigned version[4])
{
    for (size_t at = 0; at + 16 <= bytes; at += 4) {
        if (Le32(block + at) == kFixedInfoSignature) {
            uint32_t high = Le32(block + at + 8);
            uint32_t low = Le32(block + at + 12);
            version[0] = high >> 16, version[1] = high & 0xFFFF;
            version[2] = low >> 16, version[3] = low & 0xFFFF;
            return true;
        }
    }
    return false;
}

// ASCII widens unit for unit. To stay short this host takes nothing else;
// the C example shows the full conversion from UTF-8.
bool AsciiToUtf16(const char* text, std::u16string* wide)
{
    for (; *text != '\0'; ++text) {
        auto byte = static_cast<unsigned char>(*text);
        if (byte >= 0x80) {
            return false;
        }
        wide->push_back(byte);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: load_at_run_time LIBRARY INPUT.bmp OUTPUT.bmp\n");
        return 2;
    }
    std::u16string input;
    std::u16string output;
    if (!AsciiToUtf16(argv[2], &input) || !AsciiToUtf16(argv[3], &output)) {
        std::fprintf(stderr, "load_at_run_time: this example takes ASCII paths only\n");
        return 2;
    }
    // Attach runs here; a library whose attach is refused is not loaded.
    LoadedLibrary* library = LoaderLoadLibrary(argv[1]);
    if (library == nullptr) {
        std::fprintf(stderr, "load_at_run_time: %s\n", LoaderLastProblem());
        return 1;
    }
    size_t bytes = 0;
    const uint8_t* block = FrameworkFindResource(library, kVersionResourceType, kVersionResourceId,
                                                 kUsEnglish, &bytes);
    unsigned version[4];
    if (block != nullptr && FileVersion(block, bytes, version)) {
        std::printf("file version %u.%u.%u.%u\n", version[0], version[1], version[2], version[3]);
    }
    auto pavonize = reinterpret_cast<PavonizeFunction>(LoaderFindExport(library, "Pavonize"));
    if (pavonize == nullptr) {
        std::fprintf(stderr, "load_at_run_time: no Pavonize in %s\n", argv[1]);
        LoaderUnloadLibrary(library);
        return 1;
    }
    std::fflush(stdout);  // the library writes its messages through the same stream
    int32_t result = pavonize(input.c_str(), output.c_str());
    std::printf("Pavonize returned %d\n", static_cast<int>(result));
    // Detach runs here.
    LoaderUnloadLibrary(library);
    return result == PAVONIZE_DONE ? 0 : 1;
}
