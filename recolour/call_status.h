// How a call can fail, as a value. Helpers of the loader (and the writer)
// return one instead of ending the call themselves; the one place that ends
// the call looks up its text, as libspng's error codes and Wuffs' statuses
// work. The texts are in messages.h.
#pragma once

#include <cstddef>
#include <cstdint>

enum class CallProblem : uint8_t {
    None,

    // Input I/O: the input cannot be read as a file.
    InputCannotOpen,   // "read BMP file failed"
    InputIsDirectory,  // a directory, not a file
    InputNotRegular,   // a FIFO, device or socket

    // Malformed: the file is damaged; the message says what is wrong.
    NotBmp,
    Truncated,  // ends (or cannot be read) before what its headers promise
    HeaderTooSmall,
    PlanesNotOne,  // names the planes field
    NegativeWidth,
    PaletteTooLarge,
    BadPixelOffset,
    TopDownRle8,
    Rle8TooShort,
    Rle8RowOverrun,
    Rle8ImageOverrun,
    Rle8EndsEarly,

    // Unsupported: valid, but not read here; the message says what is.
    DepthNotSupported,        // names the depth
    CompressionNotSupported,  // names the compression
    TooLarge,                 // past the size limits

    OutOfMemory,
    Internal,  // an exception reached the exported function

    // Output I/O.
    OutputCannotCreate,  // "read BMP image failed", without a line feed
    OutputWriteFailed,   // "write BMP image failed"

    NoPixels,  // the writer was handed no pixel buffer: ends the call silently

    // The calls on raw grey pixels and on a host's own encoded bytes.
    PixelsMissing,     // no grey buffer, or a stride shorter than the width
    BandsMissing,      // no buffer for the bands or the palette
    FileCannotCreate,  // the output of bytes a host encoded cannot be created
    FileWriteFailed,   // ... or written
};

struct CallStatus {
    CallProblem problem = CallProblem::None;
    uint32_t value = 0;   // the file's value the message names, if any
    int32_t osError = 0;  // errno of the system call that failed, if one did

    bool Failed() const { return problem != CallProblem::None; }
};

inline constexpr CallStatus kCallOk{};

constexpr size_t kCallMessageBytes = 128;

// The message that tells `status`, composed in `text` when it names a value;
// nullptr for the one problem that ends a call without a word.
const char* CallMessage(CallStatus status, char (&text)[kCallMessageBytes]);

// The public header's PAVONIZE_* code for `status`: which kind of problem
// a host is told it was.
int32_t PublicProblem(CallStatus status);
