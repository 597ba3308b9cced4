#include "platform.h"

#include <cstdlib>
#include <sys/mman.h>

namespace {

// The size of a transparent huge page on x86-64 and on arm64 with 4 KiB
// base pages.
constexpr size_t kHugePageBytes = size_t{2} << 20;

// The most of a huge page that may lie unused past the end of a buffer. A
// process of this program needs under 3 MiB besides its pixel area, and is
// meant to stay within the pixel area plus 4 MiB.
constexpr size_t kMaxUnusedHugePageBytes = (size_t{5} << 20) / 4;

// Bytes of `byteCount` worth giving huge pages: every whole 2 MiB, and the
// last partial stretch when little of its huge page would go unused.
size_t HugePageBytesFor(size_t byteCount)
{
    size_t whole = byteCount / kHugePageBytes * kHugePageBytes;
    size_t rest = byteCount - whole;
    if (rest > 0 && kHugePageBytes - rest <= kMaxUnusedHugePageBytes) {
        return whole + kHugePageBytes;
    }
    return whole;
}

}  // namespace

// A buffer of a megabyte or more is a pixel area that the next read fills
// at once. Fresh memory costs a page fault per 4 KiB page on first touch
// (65,536 of them for a 256 MB image, several milliseconds even for 1 MB on
// a virtual machine); in huge pages it costs one per 2 MiB.
void* PlatformAllocate(size_t byteCount)
{
    size_t hugeBytes = HugePageBytesFor(byteCount);
    if (hugeBytes == 0) {
        return std::malloc(byteCount);
    }
    // Aligned to a huge page, so that each 2 MiB of it can be one; free()
    // releases it like any other block.
    size_t alignedBytes = (byteCount + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    void* buffer = std::aligned_alloc(kHugePageBytes, alignedBytes);
    if (buffer != nullptr) {
        // Advice the kernel declines changes nothing but speed.
        madvise(buffer, hugeBytes, MADV_HUGEPAGE);
    }
    return buffer;
}

void PlatformRelease(void* buffer)
{
    std::free(buffer);
}
