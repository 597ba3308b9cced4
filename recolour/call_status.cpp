#include "call_status.h"

#include <cstdio>

#include "messages.h"
#include "orvanepavonize/orvanepavonize.h"

namespace {

// The text of each problem; a printf format for those that name a value.
const char* ProblemText(CallProblem problem)
{
    switch (problem) {
    case CallProblem::None:  // never ends a call
        break;
    case CallProblem::InputCannotOpen:
        return kMessageInputFailed;
    case CallProblem::InputIsDirectory:
        return kMessageInputIsDirectory;
    case CallProblem::InputNotRegular:
        return kMessageInputNotRegular;
    case CallProblem::Truncated:
        return kMessageTruncated;
    case CallProblem::NotBmp:
        return kMessageNotBmp;
    case CallProblem::HeaderTooSmall:
        return kMessageHeaderTooSmall;
    case CallProblem::PlanesNotOne:
        return kMessagePlanesFormat;
    case CallProblem::NegativeWidth:
        return kMessageNegativeWidth;
    case CallProblem::PaletteTooLarge:
        return kMessagePaletteTooLarge;
    case CallProblem::BadPixelOffset:
        return kMessageBadPixelOffset;
    case CallProblem::TopDownRle8:
        return kMessageTopDownRle8;
    case CallProblem::Rle8TooShort:
        return kMessageRle8TooShort;
    case CallProblem::Rle8RowOverrun:
        return kMessageRle8RowOverrun;
    case CallProblem::Rle8ImageOverrun:
        return kMessageRle8ImageOverrun;
    case CallProblem::Rle8EndsEarly:
        return kMessageRle8EndsEarly;
    case CallProblem::DepthNotSupported:
        return kMessageDepthFormat;
    case CallProblem::CompressionNotSupported:
        return kMessageCompressionFormat;
    case CallProblem::TooLarge:
        return kMessageTooLarge;
    case CallProblem::OutOfMemory:
        return kMessageOutOfMemory;
    case CallProblem::Internal:
        return kMessageInternalError;
    case CallProblem::OutputCannotCreate:
        return kMessageOutputFailed;
    case CallProblem::OutputWriteFailed:
        return kMessageWriteFailed;
    case CallProblem::NoPixels:
        return nullptr;
    case CallProblem::PixelsMissing:
        return kMessagePixelsMissing;
    case CallProblem::BandsMissing:
        return kMessageBandsMissing;
    case CallProblem::FileCannotCreate:
        return kMessageFileCannotCreate;
    case CallProblem::FileWriteFailed:
        return kMessageFileWriteFailed;
    }
    return kMessageInternalError;
}

bool NamesAValue(CallProblem problem)
{
    return problem == CallProblem::PlanesNotOne || problem == CallProblem::DepthNotSupported ||
           problem == CallProblem::CompressionNotSupported;
}

}  // namespace

const char* CallMessage(CallStatus status, char (&text)[kCallMessageBytes])
{
    const char* message = ProblemText(status.problem);
    if (!NamesAValue(status.problem)) {
        return message;
    }
    std::snprintf(text, sizeof text, message, status.value);
    return text;
}

int32_t PublicProblem(CallStatus status)
{
    switch (status.problem) {
    case CallProblem::None:
        return PAVONIZE_OK;
    case CallProblem::InputCannotOpen:
    case CallProblem::InputIsDirectory:
    case CallProblem::InputNotRegular:
    case CallProblem::PixelsMissing:
        return PAVONIZE_INPUT_UNREADABLE;
    case CallProblem::Truncated:
        // A read that failed, rather than a file that ends too soon.
        return status.osError != 0 ? PAVONIZE_INPUT_UNREADABLE : PAVONIZE_INPUT_MALFORMED;
    case CallProblem::NotBmp:
    case CallProblem::HeaderTooSmall:
    case CallProblem::PlanesNotOne:
    case CallProblem::NegativeWidth:
    case CallProblem::PaletteTooLarge:
    case CallProblem::BadPixelOffset:
    case CallProblem::TopDownRle8:
    case CallProblem::Rle8TooShort:
    case CallProblem::Rle8RowOverrun:
    case CallProblem::Rle8ImageOverrun:
    case CallProblem::Rle8EndsEarly:
        return PAVONIZE_INPUT_MALFORMED;
    case CallProblem::DepthNotSupported:
    case CallProblem::CompressionNotSupported:
    case CallProblem::TooLarge:
        return PAVONIZE_INPUT_UNSUPPORTED;
    case CallProblem::OutputCannotCreate:
    case CallProblem::OutputWriteFailed:
    case CallProblem::BandsMissing:
    case CallProblem::FileCannotCreate:
    case CallProblem::FileWriteFailed:
        return PAVONIZE_OUTPUT_FAILED;
    case CallProblem::OutOfMemory:
        return PAVONIZE_OUT_OF_MEMORY;
    case CallProblem::Internal:
    case CallProblem::NoPixels:
        break;
    }
    return PAVONIZE_INTERNAL;
}
