#include <memory>

#include "bitmap_file.h"
#include "call_failure.h"
#include "image_state.h"
#include "orvanepavonize/orvanepavonize.h"
#include "platform.h"
#include "recolour_bitmap.h"

namespace {

// The image state is module-wide; a host that calls from several threads at
// once waits here instead of corrupting it.
struct CallLockGuard {
    CallLockGuard() { PlatformLockCall(); }
    ~CallLockGuard() { PlatformUnlockCall(); }
    CallLockGuard(const CallLockGuard&) = delete;
    CallLockGuard& operator=(const CallLockGuard&) = delete;
};

struct NarrowPathRelease {
    void operator()(char* path) const { PlatformRelease(path); }
};
using NarrowPath = std::unique_ptr<char, NarrowPathRelease>;

// The platform's narrow form of a wide path; absent stays absent. A path
// that does not convert becomes the empty name, which no open accepts, so it
// is reported like any file that cannot be opened.
NarrowPath MakeNarrowPath(const char16_t* widePath)
{
    if (widePath == nullptr) {
        return nullptr;
    }
    size_t bytes = PlatformNarrowBufferBytes(PlatformWideLength(widePath));
    NarrowPath narrow(static_cast<char*>(PlatformAllocate(bytes)));
    if (!narrow) {
        EndCall({CallProblem::OutOfMemory});
    }
    narrow.get()[0] = 0;
    PlatformWideToNarrow(widePath, narrow.get(), bytes);
    return narrow;
}

}  // namespace

int32_t RecolourBitmap(const char16_t* inputPath, const char16_t* outputPath)
{
    CallLockGuard guard;
    NarrowPath narrowInput = MakeNarrowPath(inputPath);
    LoadBitmapFile(narrowInput.get());
    // Converted only once the input is loaded and closed.
    NarrowPath narrowOutput = MakeNarrowPath(outputPath);
    SaveBitmapFile(narrowOutput.get(), imageState.pixels, imageState.width, imageState.height,
                   imageState.bitCount, imageState.palette);
    ReleaseImage();
    return PAVONIZE_DONE;
}

extern "C" PAVONIZE_API int32_t PAVONIZE_CALL Pavonize(const PavonizePathChar* inputPath,
                                                       const PavonizePathChar* outputPath)
{
    // No C++ exception may reach a C caller.
    try {
        return RecolourBitmap(reinterpret_cast<const char16_t*>(inputPath),
                              reinterpret_cast<const char16_t*>(outputPath));
    }
#ifdef ORVANEPAVONIZE_TEST_SEAMS
    // An intercepted end of the process is the test's, not an internal error.
    catch (const ProcessEnded&) {
        throw;
    }
#endif
    catch (...) {
        EndCall({CallProblem::Internal});
    }
}
