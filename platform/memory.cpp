#include "platform.h"

#include <cstdlib>
#include <sys/mman.h>

namespace {

// The size of a transparent huge page on x86-64 and on arm64 with 4 KiB
// base pages.
constexpr size_t kHugePageBytes = size_t{2} << 20;

// A buffer this large is a pixel area that will be filled at once. Each
// 4 KiB page of fresh memory costs a page fault on first touch (65,536 of
// them for a 256 MB image); huge pages make that 128. Smaller buffers are
// not worth a huge page: they would waste most of it.
constexpr size_t kHugePageBufferBytes = 2 * kHugePageBytes;

}  // namespace

void* PlatformAllocate(size_t byteCount)
{
    if (byteCount < kHugePageBufferBytes) {
        return std::malloc(byteCount);
    }
    // Aligned to a huge page, so every whole 2 MiB of the buffer can be one.
    // free() releases it like any other block.
    size_t alignedBytes = (byteCount + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    void* buffer = std::aligned_alloc(kHugePageBytes, alignedBytes);
    if (buffer != nullptr) {
        // Only the huge pages that lie wholly inside the request: the last
        // partial one stays in small pages, so no more is resident than was
        // asked for. Advice that the kernel refuses changes nothing but speed.
        madvise(buffer, byteCount / kHugePageBytes * kHugePageBytes, MADV_HUGEPAGE);
    }
    return buffer;
}

void PlatformRelease(void* buffer)
{
    std::free(buffer);
}
