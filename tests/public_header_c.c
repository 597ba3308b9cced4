/* A C caller: the public header compiles as C, and a call returns 999. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "orvanepavonize/orvanepavonize.h"

/* ASCII paths widen unit for unit. */
static char16_t* Widen(const char* text)
{
    size_t length = strlen(text);
    char16_t* wide = malloc((length + 1) * sizeof *wide);
    for (size_t i = 0; i <= length; ++i) {
        wide[i] = (unsigned char)text[i];
    }
    return wide;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        return 2;
    }
    char16_t* input = Widen(argv[1]);
    char16_t* output = Widen(argv[2]);
    int32_t result = Pavonize(input, output);
    printf("result %d\n", (int)result);
    free(input);
    free(output);
    return result == PAVONIZE_DONE ? 0 : 1;
}
