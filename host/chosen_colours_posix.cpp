// Setting the chosen colours in a finished output.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "byte_order.h"
#include "chosen_colours.h"
#include "recolour/bitmap_format.h"

namespace {

// Where the library's outputs keep their pixels: after a full palette.
constexpr int64_t kSavedPixelOffset = kHeadersBytes + kPaletteBytes;

// Whether the open file has the layout of every image the library writes:
// a 40-byte header, 8 bits, and the 256-entry palette right after it.
// Anything else is not patched.
bool HoldsASavedImage(int file, const struct stat& status)
{
    uint8_t headers[kHeadersBytes];
    if (pread(file, headers, sizeof headers, 0) != static_cast<ssize_t>(sizeof headers)) {
        return false;
    }
    const uint8_t* info = headers + kFileHeaderBytes;
    return ReadLe16(headers + kFieldType) == kBitmapSignature &&
           ReadLe32(headers + kFieldFileSize) == static_cast<uint64_t>(status.st_size) &&
           ReadLe32(headers + kFieldPixelOffset) == kSavedPixelOffset &&
           ReadLe32(info + kFieldInfoSize) == kInfoHeaderBytes &&
           ReadLe16(info + kFieldBitCount) == 8;
}

}  // namespace

// One write where every output the library writes keeps entries 0-3.
int WriteChosenColours(const std::string& output, const std::vector<uint8_t>& palette)
{
    int file = open(output.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file < 0) {
        return errno;
    }
    struct stat status {};
    int error = 0;
    if (fstat(file, &status) != 0) {
        error = errno;
    } else if (!S_ISREG(status.st_mode)) {
        error = ESPIPE;  // a FIFO or a device: what was written cannot be gone back to
    } else if (!HoldsASavedImage(file, status)) {
        error = kNotTheSavedImage;
    } else {
        ssize_t written = pwrite(file, palette.data(), palette.size(), kHeadersBytes);
        if (written != static_cast<ssize_t>(palette.size())) {
            error = written < 0 ? errno : EIO;
        } else if (fdatasync(file) != 0) {  // the size is unchanged: only the data needs syncing
            error = errno;
        }
    }
    if (close(file) != 0 && error == 0) {
        error = errno;
    }
    return error;
}
