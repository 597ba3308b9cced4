#include "rle8_decode.h"

#include <cstring>

namespace {

// Second byte of a command whose first byte is 0 (an escape); values from 3
// up start a literal run of that many pixels.
constexpr uint8_t kEscapeEndOfLine = 0;
constexpr uint8_t kEscapeEndOfBitmap = 1;
constexpr uint8_t kEscapeDelta = 2;

}  // namespace

Rle8Result DecodeRle8(const uint8_t* data, size_t dataBytes, uint8_t* pixels, int64_t width,
                      int64_t rows, int64_t rowBytes)
{
    std::memset(pixels, 0, static_cast<size_t>(rows * rowBytes));
    int64_t x = 0;
    int64_t y = 0;
    size_t position = 0;
    // Each command is bounds-checked before it touches a pixel: `y < rows`
    // and `x + count <= rowBytes` keep every write inside the current row.
    // The limit is the padded row, not the width: some writers encode the
    // padding bytes as pixels, and the padding is part of the buffer.
    while (dataBytes - position >= 2) {
        uint8_t count = data[position];
        uint8_t value = data[position + 1];
        position += 2;
        if (count > 0) {  // encoded run: `count` copies of `value`
            if (y >= rows) {
                return Rle8Result::ImageOverrun;
            }
            if (x + count > rowBytes) {
                return Rle8Result::RowOverrun;
            }
            std::memset(pixels + y * rowBytes + x, value, count);
            x += count;
            continue;
        }
        switch (value) {
        case kEscapeEndOfLine:
            if (y >= rows) {
                return Rle8Result::ImageOverrun;
            }
            x = 0;
            ++y;
            break;
        case kEscapeEndOfBitmap:
            return Rle8Result::Complete;
        case kEscapeDelta: {
            if (dataBytes - position < 2) {
                return Rle8Result::EndsEarly;
            }
            int64_t right = data[position];
            int64_t down = data[position + 1];
            position += 2;
            if (x + right > rowBytes) {
                return Rle8Result::RowOverrun;
            }
            if (y + down > rows) {
                return Rle8Result::ImageOverrun;
            }
            x += right;
            y += down;
            break;
        }
        default: {  // literal run of `value` pixels, padded to an even length
            size_t literal = value;
            if (dataBytes - position < literal) {
                return Rle8Result::EndsEarly;
            }
            if (y >= rows) {
                return Rle8Result::ImageOverrun;
            }
            if (x + value > rowBytes) {
                return Rle8Result::RowOverrun;
            }
            std::memcpy(pixels + y * rowBytes + x, data + position, literal);
            x += value;
            size_t padded = literal + (literal & 1);
            // A missing last padding byte ends the data; nothing is lost.
            position += padded < dataBytes - position ? padded : dataBytes - position;
            break;
        }
        }
    }
    // Writers that omit the end-of-bitmap marker are read when no pixel is
    // left to set: every row ended, the last one filled to its width, or an
    // image with no pixels at all.
    bool atImageEnd = y >= rows || (y == rows - 1 && x >= width) || width == 0;
    return atImageEnd ? Rle8Result::Complete : Rle8Result::EndsEarly;
}

int64_t Rle8LongestUsefulBytes(int64_t rowBytes, int64_t rows)
{
    return 4 * rowBytes * rows + 4 * rows + 2;
}
