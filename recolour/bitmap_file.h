// Reading an 8-bit BMP file into the image state, and writing one out.
#pragma once

#include <cstdint>

#include "image_state.h"

// Fills imageState from the file at `path` and prints the loaded message.
// A file that cannot be opened or is refused ends the process with status 1
// after a message; nothing is allocated then.
void LoadBitmapFile(const char* path);

// Writes the headers, colours the image (ApplyColourBands), then writes the
// palette and the pixel rows, and prints the saved message. Ends the process
// with status 1 when `pixels` is absent (silently), when the output cannot be
// created, or when any write fails. A failed save leaves the target as it
// was, except a file rewritten in place (one with several names, say) that
// fails after its space was reserved: that one holds a partial image.
void SaveBitmapFile(const char* path, uint8_t* pixels, int32_t width, int32_t height,
                    int32_t bitCount, PaletteEntry* palette);
