// Large buffers are backed by huge pages: the advice must cover every whole
// 2 MiB of the buffer, and the last partial stretch only when little of its
// huge page would go unused. Read back from the kernel's own map of the
// process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform.h"
#include "program_launcher.h"

namespace {

constexpr uintptr_t kMiB = 1 << 20;
constexpr uintptr_t kHugePage = 2 * kMiB;

struct Mapping {
    bool found = false;
    uintptr_t end = 0;
    bool hugePageAdvice = false;  // "hg" among the mapping's VmFlags
};

// The mapping of this process that holds `address`.
Mapping MappingHolding(const void* address)
{
    auto target = reinterpret_cast<uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    Mapping mapping;
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        uintptr_t start = 0;
        uintptr_t end = 0;
        char dash = 0;
        std::istringstream header(line);
        if (header >> std::hex >> start >> dash >> end && dash == '-') {
            inside = start <= target && target < end;
            if (inside) {
                mapping.found = true;
                mapping.end = end;
            }
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            mapping.hugePageAdvice = line.find(" hg") != std::string::npos;
        }
    }
    return mapping;
}

class PlatformMemoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (access("/sys/kernel/mm/transparent_hugepage", F_OK) != 0) {
            GTEST_SKIP() << "this kernel has no transparent huge pages";
        }
        // An emulator maps the program's memory its own way, so the kernel's
        // map does not show the program's advice where the program put it.
        if (!kProgramLauncher.empty()) {
            GTEST_SKIP() << "memory advice cannot be read back under an emulator";
        }
    }
};

TEST_F(PlatformMemoryTest, WholeHugePagesAreAdvisedAndAWastefulTailIsNot)
{
    // 4 MiB and 64 KiB: the tail would leave most of a huge page unused.
    size_t bytes = 4 * kMiB + 64 * 1024;
    auto* buffer = static_cast<uint8_t*>(PlatformAllocate(bytes));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % kHugePage, 0u);
    std::memset(buffer, 0xA5, bytes);  // all of it is usable
    Mapping head = MappingHolding(buffer);
    ASSERT_TRUE(head.found);
    EXPECT_TRUE(head.hugePageAdvice);
    EXPECT_EQ(head.end, reinterpret_cast<uintptr_t>(buffer) + 4 * kMiB);
    EXPECT_FALSE(MappingHolding(buffer + bytes - 1).hugePageAdvice);
    PlatformRelease(buffer);
}

TEST_F(PlatformMemoryTest, AMegapixelFillsMostOfOneHugePage)
{
    // 1,000,000 bytes leave about 1 MiB of their huge page unused: worth it.
    size_t bytes = 1000000;
    auto* buffer = static_cast<uint8_t*>(PlatformAllocate(bytes));
    ASSERT_NE(buffer, nullptr);
    std::memset(buffer, 0x5A, bytes);
    Mapping mapping = MappingHolding(buffer);
    EXPECT_TRUE(mapping.hugePageAdvice);
    EXPECT_EQ(mapping.end, reinterpret_cast<uintptr_t>(buffer) + kHugePage);
    PlatformRelease(buffer);
}

TEST_F(PlatformMemoryTest, SmallBuffersComeFromTheGeneralAllocator)
{
    // 600 KiB would leave 1.4 MiB of a huge page unused.
    auto* buffer = static_cast<uint8_t*>(PlatformAllocate(600 * 1024));
    ASSERT_NE(buffer, nullptr);
    EXPECT_FALSE(MappingHolding(buffer).hugePageAdvice);
    PlatformRelease(buffer);
    PlatformRelease(nullptr);  // does nothing
}

}  // namespace
