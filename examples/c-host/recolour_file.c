/* recolour_file INPUT.bmp OUTPUT.bmp: a C program calling Pavonize.
 *
 * Pavonize takes UTF-16 paths, while a Linux program gets its arguments as
 * bytes, normally UTF-8; Utf8ToUtf16 below makes the one from the other. On
 * failure Pavonize ends this process itself with status 1, after printing the
 * reason on standard output, so the program only ever sees 999 come back. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uchar.h>

#include <orvanepavonize/orvanepavonize.h>

/* Decodes UTF-8 into a new null-terminated UTF-16 string; NULL when `text`
 * is not valid UTF-8 or memory runs out. Free the result with free(). */
static char16_t* Utf8ToUtf16(const char* text)
{
    size_t length = strlen(text);
    /* Never more 16-bit units than bytes, plus the terminator. */
    char16_t* wide = malloc((length + 1) * sizeof *wide);
    if (wide == NULL) {
        return NULL;
    }
    const unsigned char* in = (const unsigned char*)text;
    size_t out = 0;
    while (*in != 0) {
        unsigned long code;
        int extra;
        if (*in < 0x80) {
            code = *in;
            extra = 0;
        } else if (*in >= 0xC2 && *in < 0xE0) {
            code = *in & 0x1Fu;
            extra = 1;
        } else if (*in >= 0xE0 && *in < 0xF0) {
            code = *in & 0x0Fu;
            extra = 2;
        } else if (*in >= 0xF0 && *in < 0xF5) {
            code = *in & 0x07u;
            extra = 3;
        } else {
            free(wide);
            return NULL;
        }
        ++in;
        for (int i = 0; i < extra; ++i, ++in) {
            if ((*in & 0xC0u) != 0x80u) {
                free(wide);
                return NULL;
            }
            code = (code << 6) | (*in & 0x3Fu);
        }
        /* Overlong forms, surrogates and code points past U+10FFFF. */
        static const unsigned long kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[extra] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            free(wide);
            return NULL;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            wide[out++] = (char16_t)(0xD800 + (code >> 10));
            wide[out++] = (char16_t)(0xDC00 + (code & 0x3FF));
        } else {
            wide[out++] = (char16_t)code;
        }
    }
    wide[out] = 0;
    return wide;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: recolour_file INPUT.bmp OUTPUT.bmp\n");
        return 2;
    }
    char16_t* input = Utf8ToUtf16(argv[1]);
    char16_t* output = Utf8ToUtf16(argv[2]);
    if (input == NULL || output == NULL) {
        fprintf(stderr, "recolour_file: the paths must be UTF-8\n");
        free(input);
        free(output);
        return 2;
    }
    int32_t result = Pavonize(input, output);
    printf("Pavonize returned %d\n", (int)result);
    free(input);
    free(output);
    return result == PAVONIZE_DONE ? 0 : 1;
}
