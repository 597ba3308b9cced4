// The RLE8 decoder on its own: exact pixels for every command, index 0
// wherever the data skips, and no byte touched outside the pixel buffer
// whatever the data holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "rle8_decode.h"
#include "support/bmp_variants.h"

namespace {

constexpr uint8_t kGuard = 0xCD;
constexpr int kGuardBytes = 64;

// A pixel buffer between two guard zones, filled with a value the decoder
// must overwrite.
struct GuardedPixels {
    GuardedPixels(int64_t rows, int64_t rowBytes)
        : bytes(static_cast<size_t>(rows * rowBytes + 2 * kGuardBytes), kGuard),
          size(rows * rowBytes)
    {
        std::fill(pixels(), pixels() + size, uint8_t{0xEE});
    }
    uint8_t* pixels() { return bytes.data() + kGuardBytes; }
    Bytes Image() { return Bytes(pixels(), pixels() + size); }
    bool GuardsIntact() const
    {
        for (int i = 0; i < kGuardBytes; ++i) {
            if (bytes[i] != kGuard || bytes[bytes.size() - 1 - i] != kGuard) {
                return false;
            }
        }
        return true;
    }
    std::vector<uint8_t> bytes;
    int64_t size;
};

Rle8Result Decode(const Bytes& data, GuardedPixels& buffer, int64_t width, int64_t rows,
                  int64_t rowBytes)
{
    // The data lives in a buffer of its own exact size, so a memory checker
    // sees any read past it.
    std::vector<uint8_t> exact(data.begin(), data.end());
    return DecodeRle8(exact.data(), exact.size(), buffer.pixels(), width, rows, rowBytes);
}

TEST(Rle8Decode, RunsAndLiteralsWithAndWithoutPadding)
{
    GuardedPixels buffer(2, 8);
    Bytes data = Rle8Stream({Rle8Run(2, 7), Rle8Literal({1, 2, 3}), Rle8EndOfLine(),
                             Rle8Literal({4, 5, 6, 7}), Rle8Run(1, 9), Rle8EndOfBitmap()});
    EXPECT_EQ(Decode(data, buffer, 5, 2, 8), Rle8Result::Complete);
    EXPECT_EQ(buffer.Image(), (Bytes{7, 7, 1, 2, 3, 0, 0, 0, 4, 5, 6, 7, 9, 0, 0, 0}));
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(Rle8Decode, SkippedPixelsAreIndexZero)
{
    GuardedPixels buffer(4, 4);
    // Delta right 2 and up 1, end of line part-way, end of bitmap before
    // the last two rows.
    Bytes data = Rle8Stream({Rle8Run(1, 5), Rle8Delta(2, 1), Rle8Run(1, 6), Rle8EndOfLine(),
                             Rle8Run(2, 8), Rle8EndOfBitmap()});
    EXPECT_EQ(Decode(data, buffer, 4, 4, 4), Rle8Result::Complete);
    EXPECT_EQ(buffer.Image(), (Bytes{5, 0, 0, 0, 0, 0, 0, 6, 8, 8, 0, 0, 0, 0, 0, 0}));
}

TEST(Rle8Decode, PaddingMayBeEncodedButNothingPastIt)
{
    // 3 pixels wide, 4-byte rows: some writers encode the padding byte.
    GuardedPixels buffer(1, 4);
    EXPECT_EQ(Decode(Rle8Stream({Rle8Run(3, 1), Rle8Run(1, 0)}), buffer, 3, 1, 4),
              Rle8Result::Complete);
    EXPECT_EQ(Decode(Rle8Stream({Rle8Run(3, 1), Rle8Run(2, 0)}), buffer, 3, 1, 4),
              Rle8Result::RowOverrun);
    EXPECT_EQ(Decode(Rle8Stream({Rle8Delta(4, 0), Rle8EndOfBitmap()}), buffer, 3, 1, 4),
              Rle8Result::Complete);
    EXPECT_EQ(Decode(Rle8Stream({Rle8Delta(5, 0)}), buffer, 3, 1, 4), Rle8Result::RowOverrun);
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(Rle8Decode, MissingEndOfBitmapIsFineOnlyOnceTheImageIsComplete)
{
    GuardedPixels buffer(2, 4);
    Bytes twoRows = Rle8Stream({Rle8Run(4, 1), Rle8EndOfLine(), Rle8Run(4, 2)});
    EXPECT_EQ(Decode(twoRows, buffer, 4, 2, 4), Rle8Result::Complete);
    Bytes bothEnded = Rle8Stream({Rle8EndOfLine(), Rle8EndOfLine()});
    EXPECT_EQ(Decode(bothEnded, buffer, 4, 2, 4), Rle8Result::Complete);
    Bytes lastRowShort = Rle8Stream({Rle8EndOfLine(), Rle8Run(3, 2)});
    EXPECT_EQ(Decode(lastRowShort, buffer, 4, 2, 4), Rle8Result::EndsEarly);
    EXPECT_EQ(Decode({}, buffer, 4, 2, 4), Rle8Result::EndsEarly);
    // An image without pixels is complete from the start.
    EXPECT_EQ(Decode({}, buffer, 0, 2, 0), Rle8Result::Complete);
    EXPECT_EQ(Decode({}, buffer, 4, 0, 4), Rle8Result::Complete);
}

TEST(Rle8Decode, EveryCutOfAStreamStaysInBounds)
{
    Bytes data = Rle8Stream({Rle8Run(3, 1), Rle8Literal({1, 2, 3, 4, 5}), Rle8EndOfLine(),
                             Rle8Delta(2, 1), Rle8Literal({6, 7, 8}), Rle8EndOfBitmap()});
    for (size_t keep = 0; keep <= data.size(); ++keep) {
        GuardedPixels buffer(3, 8);
        Rle8Result result = Decode(Bytes(data.begin(), data.begin() + keep), buffer, 8, 3, 8);
        EXPECT_EQ(result, keep == data.size() ? Rle8Result::Complete : Rle8Result::EndsEarly)
            << keep;
        EXPECT_TRUE(buffer.GuardsIntact()) << keep;
    }
}

TEST(Rle8Decode, ArbitraryBytesNeverWriteOutsideTheBuffer)
{
    // A fixed pseudo-random sequence, biased toward escapes so that deltas
    // and literals come up often.
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<uint8_t>(state >> 16);
    };
    int outcomes[4] = {};
    for (int trial = 0; trial < 3000; ++trial) {
        int64_t width = next() % 9;
        int64_t rows = next() % 5;
        int64_t rowBytes = (width + 3) / 4 * 4;
        Bytes data(next() % 40);
        for (uint8_t& byte : data) {
            byte = next() % 3 == 0 ? 0 : next() % 12;
        }
        GuardedPixels buffer(rows, rowBytes);
        ++outcomes[static_cast<int>(Decode(data, buffer, width, rows, rowBytes))];
        ASSERT_TRUE(buffer.GuardsIntact()) << "trial " << trial;
    }
    for (int count : outcomes) {
        EXPECT_GT(count, 0) << "every outcome should come up";
    }
}

}  // namespace
