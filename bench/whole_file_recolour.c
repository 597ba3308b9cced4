/* Reference program for the benchmarks: the plain C way of recolouring an
 * 8-bit BMP. The whole file is read into one buffer with fread, every pixel
 * goes through a 256-byte band table, and the buffer is written back with
 * fwrite. No checks beyond what keeps it inside the buffer: it exists to be
 * timed, not to be used. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static uint32_t Le32(const unsigned char* at)
{
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: whole_file_recolour INPUT.bmp OUTPUT.bmp\n");
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (in == NULL || fseek(in, 0, SEEK_END) != 0) {
        perror(argv[1]);
        return 1;
    }
    long size = ftell(in);
    rewind(in);
    unsigned char* file = malloc(size > 0 ? (size_t)size : 1);
    if (file == NULL || size < 54 + 1024 || fread(file, 1, (size_t)size, in) != (size_t)size) {
        fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 1;
    }
    fclose(in);

    uint32_t pixelOffset = Le32(file + 10);
    uint32_t paletteOffset = 14 + Le32(file + 14);
    if (pixelOffset > (uint32_t)size || paletteOffset + 1024 > pixelOffset) {
        fprintf(stderr, "%s: not an 8-bit BMP with a full palette\n", argv[1]);
        return 1;
    }
    unsigned char band[256];
    for (int v = 0; v < 256; ++v) {
        band[v] = (unsigned char)(v / 64);
    }
    unsigned char* palette = file + paletteOffset;
    for (int i = 0; i < 256; ++i) {
        for (int channel = 0; channel < 3; ++channel) {
            palette[4 * i + channel] = (unsigned char)(i < 4 ? rand() % 256 : i);
        }
        palette[4 * i + 3] = 0;
    }
    for (long i = pixelOffset; i < size; ++i) {
        file[i] = band[file[i]];
    }

    FILE* out = fopen(argv[2], "wb");
    if (out == NULL || fwrite(file, 1, (size_t)size, out) != (size_t)size || fclose(out) != 0) {
        perror(argv[2]);
        return 1;
    }
    free(file);
    return 0;
}
