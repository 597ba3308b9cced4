#include "image_routes.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "image_decoding.h"
#include "image_encoding.h"
#include "recolour/messages.h"

namespace {

// The first bytes tell every format decoded here.
constexpr size_t kSignatureBytes = 8;

void SetStatus(PavonizeStatus* status, int32_t problem, std::string message, int osError = 0)
{
    status->problem = problem;
    status->osError = osError;
    if (!message.empty() && message.back() == '\n') {
        message.pop_back();
    }
    size_t length = std::min(message.size(), sizeof status->message - 1);
    std::memcpy(status->message, message.data(), length);
    status->message[length] = 0;
}

int32_t ProblemOf(DecodeOutcome outcome)
{
    switch (outcome) {
    case DecodeOutcome::Decoded:
        return PAVONIZE_OK;
    case DecodeOutcome::Malformed:
        return PAVONIZE_INPUT_MALFORMED;
    case DecodeOutcome::Unsupported:
        return PAVONIZE_INPUT_UNSUPPORTED;
    case DecodeOutcome::OutOfMemory:
        break;
    }
    return PAVONIZE_OUT_OF_MEMORY;
}

// Encodes the image as its output's name asks and has the library write it.
void WriteBanded(const RecolouringCalls& calls, const ImageJob& job, const BandedImage& image,
                 PavonizeStatus* status)
{
    std::vector<uint8_t> file;
    if (NamesPng(job.output)) {
        std::string problem;
        if (!EncodeIndexedPng(image, &file, &problem)) {
            SetStatus(status, PAVONIZE_OUTPUT_FAILED, problem);
            return;
        }
    } else {
        file = EncodeBitmap(image);
    }
    calls.writeFile(job.output.c_str(), file.data(), file.size(), status);
}

void RecolourBitmapToPng(const RecolouringCalls& calls, const ImageJob& job, const uint8_t* colours,
                         PavonizeStatus* status)
{
    std::vector<uint8_t> input;
    int osError = 0;
    if (!ReadWholeFile(job.input, kMaxFileBytes, &input, &osError)) {
        SetStatus(status, PAVONIZE_INPUT_UNREADABLE, kMessageInputFailed, osError);
        return;
    }
    void* output = nullptr;
    size_t outputBytes = 0;
    if (calls.memory(input.data(), input.size(), colours, &output, &outputBytes, status) !=
        PAVONIZE_OK) {
        return;
    }
    BandedImage image;
    bool read = BandedImageFromBitmap({static_cast<uint8_t*>(output), outputBytes}, &image);
    calls.release(output);
    if (!read) {
        SetStatus(status, PAVONIZE_INTERNAL, kMessageInternalError);
        return;
    }
    WriteBanded(calls, job, image, status);
}

void RecolourDecoded(const RecolouringCalls& calls, const ImageJob& job, ImageFormat format,
                     const uint8_t* colours, PavonizeStatus* status)
{
    std::vector<uint8_t> input;
    int osError = 0;
    if (!ReadWholeFile(job.input, kMaxDecodeBytes, &input, &osError)) {
        SetStatus(status, PAVONIZE_INPUT_UNREADABLE,
                  std::string("read ") + FormatName(format) + " file failed", osError);
        return;
    }
    GreyImage grey;
    DecodeResult decoded = DecodeGreyImage(format, input, &grey);
    input = {};
    if (decoded.Failed()) {
        SetStatus(status, ProblemOf(decoded.outcome), decoded.message);
        return;
    }
    // Banded in place: the greys become the bands.
    BandedImage image;
    image.width = grey.width;
    image.height = grey.height;
    image.bands = std::move(grey.pixels);
    if (calls.pixels(image.bands.data(), image.width, image.height, image.width, colours,
                     image.bands.data(), image.width, image.palette, status) != PAVONIZE_OK) {
        return;
    }
    WriteBanded(calls, job, image, status);
}

}  // namespace

bool FindRecolouringCalls(LoadedLibrary* library, RecolouringCalls* calls, std::string* missing)
{
    auto find = [&](auto* call, const char* name) {
        *call = reinterpret_cast<std::remove_reference_t<decltype(*call)>>(
            LoaderFindExport(library, name));
        if (*call == nullptr && missing->empty()) {
            *missing = name;
        }
    };
    missing->clear();
    find(&calls->file, "PavonizeFile");
    find(&calls->memory, "PavonizeMemory");
    find(&calls->release, "PavonizeRelease");
    find(&calls->pixels, "PavonizePixels");
    find(&calls->writeFile, "PavonizeWriteFile");
    return missing->empty();
}

ImageOutcome RecolourImage(const RecolouringCalls& calls, const ImageJob& job,
                           const uint8_t* colours)
{
    ImageOutcome outcome;
    uint8_t head[kSignatureBytes];
    size_t headBytes = ReadFileHead(job.input, head, sizeof head);
    ImageFormat format = DecodersBuiltIn() ? FormatOfHead({head, headBytes}) : ImageFormat::Other;
    try {
        if (format != ImageFormat::Other) {
            outcome.format = FormatName(format);
            outcome.readByLibrary = false;
            RecolourDecoded(calls, job, format, colours, &outcome.status);
        } else if (NamesPng(job.output)) {
            RecolourBitmapToPng(calls, job, colours, &outcome.status);
        } else {
            calls.file(job.input.c_str(), job.output.c_str(), colours, &outcome.status);
        }
    } catch (const std::bad_alloc&) {
        SetStatus(&outcome.status, PAVONIZE_OUT_OF_MEMORY, kMessageOutOfMemory);
    }
    return outcome;
}
