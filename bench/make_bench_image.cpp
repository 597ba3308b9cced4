// Makes a benchmark input: an 8-bit BMP of any size with a grey-ramp
// palette, bottom-up, whose pixels cover every grey level (a diagonal
// gradient with a little noise, so no band is a solid block). Rows are made
// and written one at a time, so a 256-megapixel image needs no 256 MB buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The format's size fields are 32 bits and read as signed by many readers.
constexpr uint64_t kMaxFileBytes = INT32_MAX;
constexpr uint32_t kHeadersBytes = 14 + 40;
constexpr uint32_t kPaletteBytes = 256 * 4;

void Put16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value)
{
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

// xorshift32: fixed noise, the same file on every run.
uint32_t noiseState = 2463534242u;
uint32_t NextNoise()
{
    noiseState ^= noiseState << 13;
    noiseState ^= noiseState >> 17;
    noiseState ^= noiseState << 5;
    return noiseState;
}

bool ParseSize(const char* text, uint32_t* value)
{
    char* end = nullptr;
    unsigned long parsed = std::strtoul(text, &end, 10);
    if (end == text || *end != 0 || parsed == 0 || parsed > INT32_MAX) {
        return false;
    }
    *value = static_cast<uint32_t>(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    uint32_t width = 0;
    uint32_t height = 0;
    if (argc != 4 || !ParseSize(argv[1], &width) || !ParseSize(argv[2], &height)) {
        std::fprintf(stderr, "usage: make_bench_image WIDTH HEIGHT OUTPUT.bmp\n");
        return 2;
    }
    const uint64_t rowBytes = (static_cast<uint64_t>(width) + 3) / 4 * 4;
    const uint64_t imageBytes = rowBytes * height;
    if (kHeadersBytes + kPaletteBytes + imageBytes > kMaxFileBytes) {
        std::fprintf(stderr, "make_bench_image: %ux%u does not fit in a BMP file\n", width, height);
        return 2;
    }
    std::vector<uint8_t> head(kHeadersBytes + kPaletteBytes, 0);
    uint8_t* info = head.data() + 14;
    head[0] = 'B';
    head[1] = 'M';
    Put32(head.data() + 2, static_cast<uint32_t>(kHeadersBytes + kPaletteBytes + imageBytes));
    Put32(head.data() + 10, kHeadersBytes + kPaletteBytes);
    Put32(info + 0, 40);
    Put32(info + 4, width);
    Put32(info + 8, height);  // bottom-up
    Put16(info + 12, 1);
    Put16(info + 14, 8);
    Put32(info + 20, static_cast<uint32_t>(imageBytes));
    for (uint32_t i = 0; i < 256; ++i) {
        Put32(head.data() + kHeadersBytes + 4 * i, i | (i << 8) | (i << 16));
    }

    std::FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    bool good = std::fwrite(head.data(), 1, head.size(), out) == head.size();
    std::vector<uint8_t> row(rowBytes, 0);  // padding stays 0
    const uint64_t span = static_cast<uint64_t>(width) + height;
    for (uint32_t y = 0; y < height && good; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            // 0-255 along the diagonal, then up to +-8 of noise.
            int grey = static_cast<int>((static_cast<uint64_t>(x) + y) * 256 / span);
            grey += static_cast<int>(NextNoise() % 17) - 8;
            row[x] = static_cast<uint8_t>(grey < 0 ? 0 : grey > 255 ? 255 : grey);
        }
        good = std::fwrite(row.data(), 1, row.size(), out) == row.size();
    }
    if (std::fclose(out) != 0 || !good) {
        std::perror(argv[3]);
        return 1;
    }
    return 0;
}
