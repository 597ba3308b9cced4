// The calls that return their failure: the same reader, colouring and safe
// save as Pavonize, on an image of the call's own, so that calls on several
// threads never meet. They print nothing and never end the process.
#include <cstring>

#include "bitmap_file.h"
#include "call_status.h"
#include "grey_pixels.h"
#include "image_state.h"
#include "orvanepavonize/orvanepavonize.h"
#include "platform.h"

namespace {

static_assert(sizeof(PavonizeStatus{}.message) == kCallMessageBytes);

// The call's image, released on every way out.
struct CallImage {
    ImageState image;

    CallImage() = default;
    CallImage(const CallImage&) = delete;
    CallImage& operator=(const CallImage&) = delete;
    ~CallImage() { ReleaseImageOf(&image); }
};

// Tells the host how the call ended; the message as Pavonize prints it,
// without its line feed.
int32_t Report(CallStatus result, PavonizeStatus* status)
{
    int32_t problem = PublicProblem(result);
    if (status == nullptr) {
        return problem;
    }
    status->problem = problem;
    status->osError = result.osError;
    status->message[0] = 0;
    char text[kCallMessageBytes];
    const char* message = result.Failed() ? CallMessage(result, text) : nullptr;
    if (message != nullptr) {
        size_t length = std::strcspn(message, "\n");
        length = length < kCallMessageBytes - 1 ? length : kCallMessageBytes - 1;
        std::memcpy(status->message, message, length);
        status->message[length] = 0;
    }
    return problem;
}

CallStatus RecolourFile(const char* inputPath, const char* outputPath, const uint8_t* colours)
{
    CallImage call;
    CallStatus result = ReadBitmapFile(inputPath, &call.image);
    if (result.Failed()) {
        return result;
    }
    return WriteBitmapFile(outputPath, &call.image, colours);
}

CallStatus RecolourMemory(const void* input, size_t inputSize, const uint8_t* colours,
                          void** output, size_t* outputSize)
{
    if (output == nullptr || outputSize == nullptr) {
        return {CallProblem::OutputCannotCreate};
    }
    *output = nullptr;
    *outputSize = 0;
    CallImage call;
    CallStatus result = ReadBitmapMemory(input, inputSize, &call.image);
    if (result.Failed()) {
        return result;
    }
    uint8_t* bytes = nullptr;
    result = WriteBitmapMemory(&call.image, colours, &bytes, outputSize);
    *output = bytes;
    return result;
}

}  // namespace

// No C++ exception may reach a C caller; nothing here is expected to throw.
extern "C" PAVONIZE_API int32_t PavonizeFile(const char* inputPath, const char* outputPath,
                                             const uint8_t* colours, PavonizeStatus* status)
{
    CallStatus result;
    try {
        result = RecolourFile(inputPath, outputPath, colours);
    } catch (...) {
        result = {CallProblem::Internal};
    }
    return Report(result, status);
}

extern "C" PAVONIZE_API int32_t PavonizeMemory(const void* input, size_t inputSize,
                                               const uint8_t* colours, void** output,
                                               size_t* outputSize, PavonizeStatus* status)
{
    CallStatus result;
    try {
        result = RecolourMemory(input, inputSize, colours, output, outputSize);
    } catch (...) {
        result = {CallProblem::Internal};
    }
    return Report(result, status);
}

extern "C" PAVONIZE_API void PavonizeRelease(void* output)
{
    PlatformRelease(output);
}

extern "C" PAVONIZE_API int32_t PavonizePixels(const uint8_t* grey, size_t width, size_t height,
                                               size_t greyStride, const uint8_t* colours,
                                               uint8_t* bands, size_t bandsStride, uint8_t* palette,
                                               PavonizeStatus* status)
{
    static_assert(kRgbPaletteBytes == PAVONIZE_PALETTE_BYTES);
    CallStatus result;
    try {
        result =
            BandGreyPixels(grey, width, height, greyStride, colours, bands, bandsStride, palette);
    } catch (...) {
        result = {CallProblem::Internal};
    }
    return Report(result, status);
}

extern "C" PAVONIZE_API int32_t PavonizeWriteFile(const char* outputPath, const void* bytes,
                                                  size_t byteCount, PavonizeStatus* status)
{
    CallStatus result;
    try {
        result = WriteBytesFile(outputPath, bytes, byteCount);
    } catch (...) {
        result = {CallProblem::Internal};
    }
    return Report(result, status);
}
