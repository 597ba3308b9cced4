// JPEG through libjpeg's own API on a memory source, greys taken as Pillow
// takes them: a one-component image as libjpeg decodes it to grey, three
// components decoded to RGB and weighed by LumaOf (libjpeg's own grey
// output keeps only Y, which differs), four components decoded to CMYK,
// read as Adobe's inverted CMYK, made RGB and weighed the same way.
//
// libjpeg reports errors by calling back, and the only way back out of it
// is longjmp: each stage that calls into it sets its own jump target, and
// holds nothing with a destructor that a jump could skip. Everything a
// callback needs is in the session, reached through client_data, so that
// several threads may decode at once.
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

#include <jerror.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "image_decoding.h"

namespace {

// A progressive file may hold any number of scans, each of which costs a
// pass over the whole coefficient buffer: libjpeg-turbo's advice is to stop
// a file that goes far beyond what any encoder writes.
constexpr int kMaxScans = 500;

// Every 8 x 8 block of the first component takes at least one bit of the
// file (a Huffman code is never shorter), so a file holds at most 512
// pixels a byte. Arithmetic coding could pack flat blocks tighter; no
// photograph comes near this, and a file that claims more is refused
// before the image's memory is asked for.
constexpr uint64_t kJpegMaxPixelsPerByte = uint64_t{64} * 8;

enum class Failure { None, Truncated, TooManyScans, LibraryError };

struct JpegSession {
    jpeg_decompress_struct decompressor;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf escape;
    Failure failure;
    bool rowsComplete;  // every row decoded: only the markers after them are left
    int messageCode;
    char message[JMSG_LENGTH_MAX];
};

JpegSession* SessionOf(j_common_ptr common)
{
    return static_cast<JpegSession*>(common->client_data);
}

[[noreturn]] void Escape(JpegSession* session, Failure failure)
{
    session->failure = failure;
    std::longjmp(session->escape, 1);
}

// Replaces libjpeg's exit(): the message is kept for the refusal.
[[noreturn]] void OnError(j_common_ptr common)
{
    JpegSession* session = SessionOf(common);
    session->messageCode = common->err->msg_code;
    common->err->format_message(common, session->message);
    Escape(session, Failure::LibraryError);
}

// Whether a warning tells of entropy-coded data that could not be read:
// libjpeg goes on with blank blocks in its place, up to the next restart
// marker or to the end of the image.
bool MakesUpImageData(int code)
{
    switch (code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        return true;
    default:
        return false;
    }
}

// Replaces libjpeg's printing to stderr. Where libjpeg only warns but then
// makes up pixels, the file is refused: at the end of the data before the
// last row (it would accept a truncated file as whole), and where a scan's
// data cannot be read (a few bytes could then claim an image of any size,
// the denial of service against which libjpeg-turbo's advice is to take
// such warnings as fatal). Other warnings pass, as in Pillow, and so does
// a file that ends after its last row without its end marker.
void OnMessage(j_common_ptr common, int level)
{
    if (level >= 0) {
        return;  // trace messages
    }
    JpegSession* session = SessionOf(common);
    if (common->err->msg_code == JWRN_JPEG_EOF && !session->rowsComplete) {
        Escape(session, Failure::Truncated);
    }
    if (MakesUpImageData(common->err->msg_code)) {
        OnError(common);
    }
    ++common->err->num_warnings;
}

void OnOutputMessage(j_common_ptr) {}

void OnProgress(j_common_ptr common)
{
    JpegSession* session = SessionOf(common);
    if (session->decompressor.input_scan_number > kMaxScans) {
        Escape(session, Failure::TooManyScans);
    }
}

// The first stage: libjpeg set up on the file and its header read. Nothing
// with a destructor lives here (see the top of the file).
bool ReadHeader(JpegSession* session, const uint8_t* data, size_t size)
{
    j_decompress_ptr decompressor = &session->decompressor;
    decompressor->err = jpeg_std_error(&session->errors);
    session->errors.error_exit = OnError;
    session->errors.emit_message = OnMessage;
    session->errors.output_message = OnOutputMessage;
    decompressor->client_data = session;
    if (setjmp(session->escape) != 0) {
        return false;
    }
    jpeg_create_decompress(decompressor);
    // Beyond this, libjpeg asks for backing store, which it has not, and
    // gives up: a small progressive file cannot claim unbounded memory for
    // its coefficients.
    decompressor->mem->max_memory_to_use =
        static_cast<long>(std::min<uint64_t>(kMaxDecodeBytes, LONG_MAX));
    session->progress.progress_monitor = OnProgress;
    decompressor->progress = &session->progress;
    jpeg_mem_src(decompressor, data, static_cast<unsigned long>(size));
    jpeg_read_header(decompressor, TRUE);
    return true;
}

// Pillow's CMYK to RGB for one channel, on libjpeg's samples of an Adobe
// (inverted) CMYK file: 255 - ink, scaled by what the black leaves.
uint32_t FromInvertedCmyk(uint32_t invertedInk, uint32_t invertedBlack)
{
    uint32_t product = (255 - invertedInk) * invertedBlack + 128;
    return invertedBlack - (((product >> 8) + product) >> 8);
}

void AppendGreys(const uint8_t* samples, uint32_t width, int components,
                 std::vector<uint8_t>* pixels)
{
    const size_t start = pixels->size();
    pixels->resize(start + width);
    uint8_t* out = pixels->data() + start;
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = samples + static_cast<size_t>(x) * components;
        switch (components) {
        case 1:
            out[x] = pixel[0];
            break;
        case 3:
            out[x] = LumaOf(pixel[0], pixel[1], pixel[2]);
            break;
        default:
            out[x] =
                LumaOf(FromInvertedCmyk(pixel[0], pixel[3]), FromInvertedCmyk(pixel[1], pixel[3]),
                       FromInvertedCmyk(pixel[2], pixel[3]));
            break;
        }
    }
}

// The second stage: the rows decoded into `samples`, one at a time, and
// appended as greys; the file read to its end. Nothing with a destructor
// lives here either; the pixels' space is reserved beforehand.
bool DecodeRows(JpegSession* session, uint8_t* samples, std::vector<uint8_t>* pixels)
{
    j_decompress_ptr decompressor = &session->decompressor;
    if (setjmp(session->escape) != 0) {
        return false;
    }
    jpeg_start_decompress(decompressor);
    while (decompressor->output_scanline < decompressor->output_height) {
        JSAMPROW row = samples;
        // A memory source never suspends: no row means no progress.
        if (jpeg_read_scanlines(decompressor, &row, 1) != 1) {
            session->failure = Failure::Truncated;
            return false;
        }
        AppendGreys(samples, decompressor->output_width, decompressor->output_components, pixels);
    }
    // The markers after the last scan are still read, and refused if
    // damaged, as by Pillow.
    session->rowsComplete = true;
    jpeg_finish_decompress(decompressor);
    return true;
}

DecodeResult Refusal(const JpegSession& session)
{
    switch (session.failure) {
    case Failure::Truncated:
        return Malformed("JPEG file is truncated");
    case Failure::TooManyScans:
        return Malformed("JPEG file is damaged: more than " + std::to_string(kMaxScans) + " scans");
    case Failure::None:
    case Failure::LibraryError:
        break;
    }
    switch (session.messageCode) {
    case JERR_OUT_OF_MEMORY:
        return OutOfMemory();
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
    case JERR_NO_BACKING_STORE:  // beyond max_memory_to_use
        return Unsupported("JPEG image is too large");
    case JERR_BAD_PRECISION:
    case JERR_SOF_UNSUPPORTED:
    case JERR_ARITH_NOTIMPL:
    case JERR_NOT_COMPILED:
    case JERR_NOTIMPL:
    case JERR_CONVERSION_NOTIMPL:
        return Unsupported(std::string("JPEG file is not supported: ") + session.message);
    default:
        return Malformed(std::string("JPEG file is damaged: ") + session.message);
    }
}

// What libjpeg is asked to decode to, by the number of components as
// Pillow chooses; JCS_UNKNOWN for a number it does not read.
J_COLOR_SPACE OutputSpaceFor(int components)
{
    switch (components) {
    case 1:
        return JCS_GRAYSCALE;
    case 3:
        return JCS_RGB;
    case 4:
        return JCS_CMYK;
    default:
        return JCS_UNKNOWN;
    }
}

// Destroys the decompressor however DecodeJpeg is left, a thrown
// bad_alloc included; safe on one never created (the session starts zeroed).
struct SessionRelease {
    JpegSession* session;
    ~SessionRelease() { jpeg_destroy_decompress(&session->decompressor); }
};

}  // namespace

DecodeResult DecodeJpeg(std::span<const uint8_t> file, GreyImage* image)
{
    JpegSession session{};
    SessionRelease release{&session};
    if (!ReadHeader(&session, file.data(), file.size())) {
        return Refusal(session);
    }
    j_decompress_ptr decompressor = &session.decompressor;
    const int components = decompressor->num_components;
    const J_COLOR_SPACE outputSpace = OutputSpaceFor(components);
    if (outputSpace == JCS_UNKNOWN) {
        return Unsupported("JPEG image of " + std::to_string(components) +
                           " components is not supported");
    }
    const uint32_t width = decompressor->image_width;
    const uint32_t height = decompressor->image_height;
    if (!DimensionsAreReadable(width, height, static_cast<uint64_t>(components))) {
        return Unsupported("JPEG image is too large");
    }
    if (!CompressedCanHold(file.size(), static_cast<uint64_t>(width) * height,
                           kJpegMaxPixelsPerByte)) {
        return Malformed("JPEG file is too short for its image");
    }
    decompressor->out_color_space = outputSpace;
    std::vector<uint8_t> samples(static_cast<size_t>(width) * components);
    // Reserved, not filled: only rows the file really holds are written.
    image->pixels.reserve(static_cast<size_t>(width) * height);
    if (!DecodeRows(&session, samples.data(), &image->pixels)) {
        return Refusal(session);
    }
    image->width = width;
    image->height = height;
    return {};
}
