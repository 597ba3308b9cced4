/* Reference program for the benchmarks: the plain C way of recolouring an
 * 8-bit BMP with constant memory. The headers and palette are copied with a
 * new palette, then the pixel area moves through one 1 MiB buffer: fread,
 * a 256-byte band table, fwrite. It exists to be timed, not to be used. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

enum { kChunkBytes = 1 << 20, kMaxHeadBytes = 1 << 16 };

static uint32_t Le32(const unsigned char* at)
{
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: streaming_recolour INPUT.bmp OUTPUT.bmp\n");
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (in == NULL) {
        perror(argv[1]);
        return 1;
    }
    static unsigned char head[kMaxHeadBytes];
    if (fread(head, 1, 18, in) != 18) {
        fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 1;
    }
    /* Everything before the pixels: file header, information header, palette. */
    uint32_t pixelOffset = Le32(head + 10);
    uint32_t paletteOffset = 14 + Le32(head + 14);
    if (pixelOffset > kMaxHeadBytes || paletteOffset + 1024 > pixelOffset ||
        fread(head + 18, 1, pixelOffset - 18, in) != pixelOffset - 18) {
        fprintf(stderr, "%s: not an 8-bit BMP this program handles\n", argv[1]);
        return 1;
    }
    unsigned char* palette = head + paletteOffset;
    for (int i = 0; i < 256; ++i) {
        for (int channel = 0; channel < 3; ++channel) {
            palette[4 * i + channel] = (unsigned char)(i < 4 ? rand() % 256 : i);
        }
        palette[4 * i + 3] = 0;
    }
    unsigned char band[256];
    for (int v = 0; v < 256; ++v) {
        band[v] = (unsigned char)(v / 64);
    }

    FILE* out = fopen(argv[2], "wb");
    if (out == NULL || fwrite(head, 1, pixelOffset, out) != pixelOffset) {
        perror(argv[2]);
        return 1;
    }
    static unsigned char chunk[kChunkBytes];
    size_t got;
    while ((got = fread(chunk, 1, kChunkBytes, in)) > 0) {
        for (size_t i = 0; i < got; ++i) {
            chunk[i] = band[chunk[i]];
        }
        if (fwrite(chunk, 1, got, out) != got) {
            perror(argv[2]);
            return 1;
        }
    }
    fclose(in);
    if (fclose(out) != 0) {
        perror(argv[2]);
        return 1;
    }
    return 0;
}
