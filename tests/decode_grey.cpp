// Decodes one image file the way the command line does and writes the greys
// as a binary PGM, so that a test can set them beside Pillow's decoding.
//   decode_grey INPUT OUTPUT.pgm
// Exit status: 0 decoded, 1 damaged, 2 unsupported, 3 out of memory, 4 not
// a format decoded here or not readable; the reason on standard error.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "image_decoding.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: decode_grey INPUT OUTPUT.pgm\n", stderr);
        return 4;
    }
    std::ifstream input(argv[1], std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(input)),
                              std::istreambuf_iterator<char>());
    ImageFormat format = FormatOfHead(file);
    if (!input.is_open() || format == ImageFormat::Other) {
        std::fputs("not an image decoded here\n", stderr);
        return 4;
    }
    GreyImage image;
    DecodeResult result = DecodeGreyImage(format, file, &image);
    if (result.Failed()) {
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return static_cast<int>(result.outcome);
    }
    std::FILE* output = std::fopen(argv[2], "wb");
    if (output == nullptr) {
        std::perror(argv[2]);
        return 4;
    }
    std::fprintf(output, "P5\n%u %u\n255\n", image.width, image.height);
    std::fwrite(image.pixels.data(), 1, image.pixels.size(), output);
    return std::fclose(output) == 0 ? 0 : 4;
}
