// Makes the bundled sample: an 8-bit greyscale BMP with a grey-ramp palette,
// 321 x 200 (an odd width, so every row carries padding). Soft rings over a
// left-to-right gradient give all four bands wide, recognisable shapes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 321;
constexpr int kHeight = 200;

void Put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

uint8_t Grey(int x, int y)
{
    double dx = x - kWidth * 0.35;
    double dy = y - kHeight * 0.55;
    double rings = 0.5 + 0.5 * std::cos(std::sqrt(dx * dx + dy * dy) / 9.0);
    double gradient = static_cast<double>(x) / (kWidth - 1);
    return static_cast<uint8_t>(std::lround(255.0 * (0.55 * rings + 0.45 * gradient)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT.bmp\n");
        return 2;
    }
    const uint32_t rowBytes = (kWidth + 3) / 4 * 4;
    const uint32_t imageBytes = rowBytes * kHeight;
    std::vector<uint8_t> file;
    file.push_back('B');
    file.push_back('M');
    Put32(file, 14 + 40 + 1024 + imageBytes);
    Put32(file, 0);
    Put32(file, 14 + 40 + 1024);
    Put32(file, 40);
    Put32(file, kWidth);
    Put32(file, kHeight);  // bottom-up
    Put16(file, 1);
    Put16(file, 8);
    Put32(file, 0);
    Put32(file, imageBytes);
    Put32(file, 2835);  // 72 dpi
    Put32(file, 2835);
    Put32(file, 256);
    Put32(file, 0);
    for (uint32_t i = 0; i < 256; ++i) {
        Put32(file, i | (i << 8) | (i << 16));
    }
    for (int row = 0; row < kHeight; ++row) {
        int y = kHeight - 1 - row;  // the first row in the file is the bottom one
        for (int x = 0; x < kWidth; ++x) {
            file.push_back(Grey(x, y));
        }
        for (uint32_t pad = kWidth; pad < rowBytes; ++pad) {
            file.push_back(0);
        }
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
