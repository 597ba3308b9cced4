// Decoding of the bitmap format's 8-bit run-length encoding (BI_RLE8).
#pragma once

#include <cstddef>
#include <cstdint>

enum class Rle8Result {
    Complete,      // end-of-bitmap marker, or the data ends at the image's end
    RowOverrun,    // a run, literal or delta reaches past the padded row
    ImageOverrun,  // pixels or a move below the last row
    EndsEarly,     // the data stops before the image is complete
};

// Decodes `data` (`dataBytes` bytes) into `pixels`, `rows` rows of
// `rowBytes` bytes each, of which the first `width` are pixels. The rows are
// in file order: the first row decoded is the image's bottom row. Every byte
// the data does not set (deltas, early end of line or of bitmap, padding) is
// index 0. Reads nothing past `data + dataBytes` and writes nothing outside
// `pixels`' rows x rowBytes bytes, whatever the data holds.
// Requires 0 <= width <= rowBytes and rows >= 0.
Rle8Result DecodeRle8(const uint8_t* data, size_t dataBytes, uint8_t* pixels, int64_t width,
                      int64_t rows, int64_t rowBytes);

// The longest RLE8 stream worth reading for an image: a delta of four bytes
// that skips a single byte of a row is the costliest way to cover one, and
// one more delta or end-of-line per row and the end-of-bitmap marker come on
// top. Only no-op commands could make a stream longer, so bytes past this are
// never read and a small image cannot make the loader buffer a huge file.
int64_t Rle8LongestUsefulBytes(int64_t rowBytes, int64_t rows);
