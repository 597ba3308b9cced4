// save_fault_host POINT OCCURRENCE INPUT OUTPUT: arms one write fault in the
// platform layer, then calls the exported Pavonize once, as a host would.
//
// The fault is injected through the platform layer rather than by
// preloading a fault library into a real pavonize: such a library fails
// every write() of the process alike (standard output's too) and cannot
// pick the third write of one descriptor, while this seam names the exact
// step and leaves everything else of the process real, including the exit.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "orvanepavonize/orvanepavonize.h"
#include "platform.h"
#include "utf8_to_utf16.h"

namespace {

bool ParsePoint(const char* name, FaultPoint* point)
{
    const struct {
        const char* name;
        FaultPoint point;
    } kPoints[] = {{"write", FaultPoint::Write},
                   {"sync", FaultPoint::Sync},
                   {"close", FaultPoint::Close},
                   {"rename", FaultPoint::Rename}};
    for (const auto& known : kPoints) {
        if (std::strcmp(name, known.name) == 0) {
            *point = known.point;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    FaultPoint point = FaultPoint::Write;
    std::u16string input;
    std::u16string output;
    if (argc != 5 || !ParsePoint(argv[1], &point) || !Utf8ToUtf16(argv[3], &input) ||
        !Utf8ToUtf16(argv[4], &output)) {
        std::fprintf(stderr, "usage: save_fault_host write|sync|close|rename N INPUT OUTPUT\n");
        return 2;
    }
    PlatformInjectFault(point, std::atoi(argv[2]));
    return Pavonize(input.c_str(), output.c_str()) == PAVONIZE_DONE ? 0 : 3;
}
