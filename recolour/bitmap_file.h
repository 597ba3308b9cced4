// Reading an 8-bit BMP image into an image state, and writing one out, from
// and to a file or memory. Each returns what went wrong instead of ending
// the call; LoadBitmapFile and SaveBitmapFile are Pavonize's steps, which
// print its messages and end the process on failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "call_status.h"
#include "image_state.h"

// Fills `image` (whose buffers are absent) from the file at `path`. On
// failure nothing is left allocated.
CallStatus ReadBitmapFile(const char* path, ImageState* image);
// Fills `image` from the `byteCount` bytes of a BMP file at `bytes`.
CallStatus ReadBitmapMemory(const void* bytes, size_t byteCount, ImageState* image);

// Writes the headers, colours the image (ColourBands, with `colours` or
// drawn ones), then writes the palette and the pixel rows. A failed save
// leaves the target as it was, except a file rewritten in place (one with
// several names, say) that fails after its space was reserved: that one
// holds a partial image.
CallStatus WriteBitmapFile(const char* path, ImageState* image, const uint8_t* colours);
// Saves `byteCount` bytes a host encoded itself (a PNG, say) as the file at
// `path`, replaced as safely as WriteBitmapFile replaces a BMP.
CallStatus WriteBytesFile(const char* path, const void* bytes, size_t byteCount);
// The same into a new buffer from PlatformAllocate, handed over in
// `*output` (nullptr on failure) with its size.
CallStatus WriteBitmapMemory(ImageState* image, const uint8_t* colours, uint8_t** output,
                             size_t* outputBytes);

// Fills the module-wide image from the file at `path` and prints the loaded
// message. A file that cannot be opened or is refused ends the process with
// status 1 after a message; nothing is allocated then.
void LoadBitmapFile(const char* path);

// Saves the module-wide image (these are its values) with drawn colours and
// prints the saved message. Ends the process with status 1 when `pixels` is
// absent (silently), when the output cannot be created, or when any write
// fails.
void SaveBitmapFile(const char* path, uint8_t* pixels, int32_t width, int32_t height,
                    int32_t bitCount, PaletteEntry* palette);
