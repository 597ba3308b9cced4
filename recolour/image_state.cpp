#include "image_state.h"

#include "platform.h"

ImageState imageState;

int64_t RowBytes(int64_t width, int64_t bitCount)
{
    // Below 8 bits a trailing partial byte is dropped, as the format's
    // original writer did; only 8-bit images reach this today.
    return (width * bitCount / 8 + 3) / 4 * 4;
}

void ReleaseImageOf(ImageState* image)
{
    PlatformRelease(image->pixels);
    image->pixels = nullptr;
    PlatformRelease(image->palette);
    image->palette = nullptr;
}

void ReleaseImage()
{
    ReleaseImageOf(&imageState);
}
