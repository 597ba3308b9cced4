// save_fault_host FAULTS INPUT OUTPUT: arms write faults in the platform
// layer, then calls the exported Pavonize once, as a host would. FAULTS is
// "none" or a comma-separated list of POINT:N (the Nth time POINT is reached
// fails), POINT:N:kill (the process is killed there with SIGKILL, as a
// crash would end it at that very step) or plant-after-walk:FILE and
// plant-before-link:FILE (FILE, which another user owns, is moved to the
// output's name at that moment, as that user could plant it there).
// Signals are left as a host that changes nothing has them.
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

bool ArmFault(const std::string& fault)
{
    const struct {
        const char* name;
        FaultPoint point;
    } kPoints[] = {{"write", FaultPoint::Write},
                   {"sync", FaultPoint::Sync},
                   {"close", FaultPoint::Close},
                   {"rename", FaultPoint::Rename},
                   {"link", FaultPoint::Link},
                   {"truncate", FaultPoint::Truncate},
                   {"unnamed", FaultPoint::Unnamed},
                   {"reserve", FaultPoint::Reserve},
                   {"attributes", FaultPoint::Attributes}};
    const struct {
        const char* prefix;
        PlantPoint point;
    } kPlants[] = {{"plant-after-walk:", PlantPoint::AfterWalk},
                   {"plant-before-link:", PlantPoint::BeforeLink}};
    if (fault == "none") {
        return true;
    }
    for (const auto& plant : kPlants) {
        if (fault.rfind(plant.prefix, 0) == 0) {
            // Kept for the whole run: the seam holds on to the path.
            static std::string planted[static_cast<int>(PlantPoint::Count)];
            planted[static_cast<int>(plant.point)] = fault.substr(std::strlen(plant.prefix));
            PlatformInjectPlant(plant.point, planted[static_cast<int>(plant.point)].c_str());
            return true;
        }
    }
    size_t colon = fault.find(':');
    size_t kill = fault.find(":kill");
    for (const auto& known : kPoints) {
        if (colon != std::string::npos && fault.compare(0, colon, known.name) == 0 &&
            std::strlen(known.name) == colon) {
            PlatformInjectFault(known.point, std::atoi(fault.c_str() + colon + 1),
                                kill != std::string::npos);
            return true;
        }
    }
    return false;
}

bool ArmFaults(const std::string& faults)
{
    size_t start = 0;
    while (true) {
        size_t comma = faults.find(',', start);
        if (!ArmFault(faults.substr(start, comma - start))) {
            return false;
        }
        if (comma == std::string::npos) {
            return true;
        }
        start = comma + 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::u16string input;
    std::u16string output;
    if (argc != 4 || !ArmFaults(argv[1]) || !Utf8ToUtf16(argv[2], &input) ||
        !Utf8ToUtf16(argv[3], &output)) {
        std::fprintf(stderr,
                     "usage: save_fault_host none|POINT:N[:kill]|plant-WHEN:FILE[,...] INPUT "
                     "OUTPUT\n"
                     "  POINT: write sync close rename link truncate unnamed reserve attributes\n"
                     "  WHEN: after-walk before-link\n");
        return 2;
    }
    return Pavonize(input.c_str(), output.c_str()) == PAVONIZE_DONE ? 0 : 3;
}
