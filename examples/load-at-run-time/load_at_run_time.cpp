// load_at_run_time LIBRARY INPUT.bmp OUTPUT.bmp
//
// Loads the library from the path LIBRARY (for example
// /usr/lib/liborvanepavonize.so.1) while running, finds Pavonize by its
// plain name, calls it once and unloads the library again. The header gives
// the function's type; nothing of the library is linked in.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include <orvanepavonize/orvanepavonize.h>

namespace {

using PavonizeFunction = decltype(&Pavonize);

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
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "load_at_run_time: %s\n", dlerror());
        return 1;
    }
    auto pavonize = reinterpret_cast<PavonizeFunction>(dlsym(library, "Pavonize"));
    if (pavonize == nullptr) {
        std::fprintf(stderr, "load_at_run_time: no Pavonize in %s\n", argv[1]);
        dlclose(library);
        return 1;
    }
    int32_t result = pavonize(input.c_str(), output.c_str());
    std::printf("Pavonize returned %d\n", static_cast<int>(result));
    dlclose(library);
    return result == PAVONIZE_DONE ? 0 : 1;
}
