// pavonize: the command-line host. Hands each INPUT/OUTPUT pair to the
// library's Pavonize, in one process, so every pair gets the generator's next
// colours. Its own words go to standard error; standard output carries only
// the library's messages.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "orvanepavonize/orvanepavonize.h"
#include "utf8_to_utf16.h"

namespace {

constexpr int kExitUsage = 2;

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
    "  --version   show the version and exit\n"
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

}  // namespace

int main(int argc, char** argv)
{
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
                std::fprintf(stderr, "pavonize %s\n", ORVANEPAVONIZE_VERSION);
                return 0;
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
    for (size_t i = 0; i < widePaths.size(); i += 2) {
        if (Pavonize(widePaths[i].c_str(), widePaths[i + 1].c_str()) != PAVONIZE_DONE) {
            return 1;
        }
    }
    return 0;
}
