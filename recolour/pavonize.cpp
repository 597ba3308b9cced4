#include <memory>
#include <mutex>

#include "bitmap_file.h"
#include "call_failure.h"
#include "image_state.h"
#include "messages.h"
#include "orvanepavonize/orvanepavonize.h"
#include "platform.h"
#include "recolour_bitmap.h"

namespace {

// The image state is module-wide; a host that calls from several threads at
// once waits here instead of corrupting it.
std::mutex callLock;

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
        EndCallWithMessage(kMessageOutOfMemory);
    }
    narrow.get()[0] = 0;
    PlatformWideToNarrow(widePath, narrow.get(), bytes);
    return narrow;
}

}  // namespace

int32_t RecolourBitmap(const char16_t* inputPath, const char16_t* outputPath)
{
    std::lock_guard<std::mutex> guard(callLock);
    NarrowPath narrowInput = MakeNarrowPath(inputPath);
    LoadBitmapFile(narrowInput.get());
    // Converted only once the input is loaded and closed.
    NarrowPath narrowOutput = MakeNarrowPath(outputPath);
    SaveBitmapFile(narrowOutput.get(), imageState.pixels, imageState.width, imageState.height,
                   imageState.bitCount, imageState.palette);
    ReleaseImage();
    return kRecolourDone;
}

extern "C" PAVONIZE_API int32_t PAVONIZE_CALL Pavonize(const PavonizePathChar* inputPath,
                                                       const PavonizePathChar* outputPath)
{
    // No C++ exception may reach a C caller.
    try {
        return RecolourBitmap(reinterpret_cast<const char16_t*>(inputPath),
                              reinterpret_cast<const char16_t*>(outputPath));
    } catch (...) {
        EndCallWithMessage(kMessageInternalError);
    }
}
