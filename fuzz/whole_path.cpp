#include "whole_path.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "bitmap_file.h"
#include "grey_pixels.h"
#include "image_decoding.h"
#include "image_encoding.h"
#include "image_state.h"
#include "orvanepavonize/orvanepavonize.h"
#include "platform.h"
#include "recolour_bitmap.h"
#include "utf8_to_utf16.h"

namespace {

std::string scratchFolder;
std::string inputPath;
std::u16string inputWide;
std::u16string outputWide;
int firstFreeDescriptor = -1;

[[noreturn]] void Broken(const char* promise)
{
    std::fprintf(stderr, "whole path: broken promise: %s\n", promise);
    std::abort();
}

void RemoveScratchFolder()
{
    for (const char* name : {"/in.bmp", "/out.bmp"}) {
        unlink((scratchFolder + name).c_str());
    }
    rmdir(scratchFolder.c_str());
}

std::u16string Wide(const std::string& path)
{
    std::u16string wide;
    if (!Utf8ToUtf16(path, &wide)) {
        Broken("scratch path is not UTF-8");
    }
    return wide;
}

// True when a descriptor of this process still refers to a file in the
// scratch folder (a temporary file removed since shows with its old name).
bool ScratchFileStillOpen()
{
    DIR* descriptors = opendir("/proc/self/fd");
    if (descriptors == nullptr) {
        return false;
    }
    bool open = false;
    while (dirent* entry = readdir(descriptors)) {
        std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[4096];
        ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        if (length > 0 &&
            std::string(target, static_cast<size_t>(length)).rfind(scratchFolder + "/", 0) == 0) {
            open = true;
        }
    }
    closedir(descriptors);
    return open;
}

// The input is written with the lowest free descriptor, so a descriptor
// leaked by the last call shows as a change of number. Other code in the
// process (the fuzzer's symbolizer) may open descriptors of its own too, so
// a change is confirmed by looking for a scratch file still open.
void WriteInput(const uint8_t* bytes, size_t byteCount)
{
    int fd = open(inputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        Broken("cannot write the scratch input");
    }
    if (fd != firstFreeDescriptor) {
        close(fd);
        if (ScratchFileStillOpen()) {
            Broken("a file descriptor stayed open after a call");
        }
        fd = open(inputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        firstFreeDescriptor = fd;
    }
    while (byteCount > 0) {
        ssize_t written = write(fd, bytes, byteCount);
        if (written <= 0) {
            Broken("cannot write the scratch input");
        }
        bytes += written;
        byteCount -= static_cast<size_t>(written);
    }
    close(fd);
}

// Only in.bmp and, after a save, out.bmp: never a temporary file.
void CheckNoTemporaryFiles()
{
    DIR* folder = opendir(scratchFolder.c_str());
    if (folder == nullptr) {
        Broken("scratch folder vanished");
    }
    while (dirent* entry = readdir(folder)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
            std::strcmp(name, "in.bmp") != 0 && std::strcmp(name, "out.bmp") != 0) {
            Broken("a temporary file was left behind");
        }
    }
    closedir(folder);
}

WholePathOutcome CallOnce(const std::u16string& input, const std::u16string& output)
{
    WholePathOutcome outcome = WholePathOutcome::Recoloured;
    try {
        if (RecolourBitmap(input.c_str(), output.c_str()) != PAVONIZE_DONE) {
            Broken("a call returned something other than PAVONIZE_DONE");
        }
    } catch (const ProcessEnded& ended) {
        if (ended.status != 1) {
            Broken("a refusal ended with a status other than 1");
        }
        outcome = WholePathOutcome::Refused;
    }
    if (imageState.pixels != nullptr || imageState.palette != nullptr) {
        Broken("an image buffer outlived the call");
    }
    CheckNoTemporaryFiles();
    return outcome;
}

// The same bytes through PavonizeMemory: refused exactly when the file call
// refused them, and otherwise the file call's image but for the colours
// (palette entries 0-3), which each call draws afresh.
void CheckMemoryCallAgrees(const uint8_t* bytes, size_t byteCount, WholePathOutcome outcome)
{
    void* memory = nullptr;
    size_t memoryBytes = 0;
    int32_t problem = PavonizeMemory(bytes, byteCount, nullptr, &memory, &memoryBytes, nullptr);
    if ((problem == PAVONIZE_OK) != (outcome == WholePathOutcome::Recoloured) ||
        (problem != PAVONIZE_OK && memory != nullptr)) {
        Broken("the memory call and the file call disagree");
    }
    if (problem == PAVONIZE_OK) {
        constexpr size_t kColoursAt = 54;
        constexpr size_t kColoursBytes = 16;
        std::string saved(memoryBytes + 1, '\0');
        int fd = open((scratchFolder + "/out.bmp").c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t got = fd < 0 ? -1 : read(fd, saved.data(), saved.size());
        close(fd);
        const auto* made = static_cast<const char*>(memory);
        if (got != static_cast<ssize_t>(memoryBytes) || memoryBytes < kColoursAt + kColoursBytes ||
            std::memcmp(saved.data(), made, kColoursAt) != 0 ||
            std::memcmp(saved.data() + kColoursAt + kColoursBytes,
                        made + kColoursAt + kColoursBytes,
                        memoryBytes - kColoursAt - kColoursBytes) != 0) {
            Broken("the memory call made another image than the file call");
        }
    }
    PavonizeRelease(memory);
}

// A file the command line decodes itself: decoded to greys, banded, and
// encoded as both outputs. The BMP must load in the library as the image
// it was made from; the PNG must be made for every image a BMP can hold.
WholePathOutcome DecodeAndEncode(ImageFormat format, const uint8_t* bytes, size_t byteCount)
{
    GreyImage grey;
    if (DecodeGreyImage(format, {bytes, byteCount}, &grey).Failed()) {
        if (!grey.pixels.empty()) {
            Broken("a refused image kept its pixels");
        }
        return WholePathOutcome::Refused;
    }
    if (grey.pixels.size() != static_cast<size_t>(grey.width) * grey.height) {
        Broken("a decoded image has another number of pixels than its size");
    }
    BandedImage banded;
    banded.width = grey.width;
    banded.height = grey.height;
    banded.bands.resize(grey.pixels.size());
    if (BandGreyPixels(grey.pixels.data(), grey.width, grey.height, grey.width, nullptr,
                       banded.bands.data(), grey.width, banded.palette)
            .Failed()) {
        Broken("decoded greys were not banded");
    }
    std::vector<uint8_t> bitmap = EncodeBitmap(banded);
    ImageState loaded;
    CallStatus read = ReadBitmapMemory(bitmap.data(), bitmap.size(), &loaded);
    bool same = !read.Failed() && static_cast<uint32_t>(loaded.width) == banded.width &&
                static_cast<uint32_t>(loaded.height) == banded.height;
    ReleaseImageOf(&loaded);
    if (!same) {
        Broken("the library does not read back the BMP made of a decoded image");
    }
    std::vector<uint8_t> png;
    std::string problem;
    if (!EncodeIndexedPng(banded, &png, &problem) && !banded.bands.empty()) {
        Broken("no PNG was made of a decoded image");
    }
    return WholePathOutcome::Recoloured;
}

}  // namespace

void PrepareWholePath()
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        Broken("cannot silence standard output");
    }
    PlatformInterceptEndProcess(true);
    std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && base == "/tmp") {
        base = tmp;
    }
    std::string pattern = base + "/pavonize-whole-path-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        Broken("cannot make a scratch folder");
    }
    scratchFolder = pattern;
    inputPath = scratchFolder + "/in.bmp";
    inputWide = Wide(inputPath);
    outputWide = Wide(scratchFolder + "/out.bmp");
    std::atexit(&RemoveScratchFolder);
}

WholePathOutcome RecolourWholePath(const uint8_t* bytes, size_t byteCount)
{
    if (ImageFormat format = FormatOfHead({bytes, byteCount}); format != ImageFormat::Other) {
        return DecodeAndEncode(format, bytes, byteCount);
    }
    WriteInput(bytes, byteCount);
    // A fresh output each time, so that a run does not depend on the last.
    unlink((scratchFolder + "/out.bmp").c_str());
    WholePathOutcome outcome = CallOnce(inputWide, outputWide);
    CheckMemoryCallAgrees(bytes, byteCount, outcome);
    if (outcome == WholePathOutcome::Recoloured) {
        // What the library writes it must read back; in place, this also
        // takes the path that replaces an existing file.
        if (CallOnce(outputWide, outputWide) != WholePathOutcome::Recoloured) {
            Broken("a saved image was refused when loaded again");
        }
    }
    return outcome;
}
