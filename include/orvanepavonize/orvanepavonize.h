/* OrvanePavonize: false-colour an 8-bit BMP image in four bands.
 *
 * Each call reads a BMP image, gives palette entries 0-3 four colours (drawn
 * from the library's pseudo-random generator, or chosen by the caller), maps
 * every pixel to one of four bands by its grey level (0-63, 64-127, 128-191,
 * 192-255) and writes the result as a new BMP image.
 *
 * Pavonize is the original entry: UTF-16 paths, progress on standard output,
 * and no error result: every failure ends the calling process with status 1
 * after a one-line message on standard output. PavonizeFile and
 * PavonizeMemory (not in the Windows DLL, whose one export is Pavonize) do
 * the same work but never print and never end the process: they return
 * what went wrong.
 *
 * The generator is never seeded and belongs to the library: the first
 * image a process recolours with drawn colours, by whichever entry, gets
 * the same four colours, and each later one the next four.
 *
 * This header compiles as C (C11, for char16_t) and as C++. */
#ifndef ORVANEPAVONIZE_ORVANEPAVONIZE_H
#define ORVANEPAVONIZE_ORVANEPAVONIZE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
/* On Windows the paths are the platform's 16-bit wchar_t strings and the
 * function uses the standard calling convention. */
#include <wchar.h>
typedef wchar_t PavonizePathChar;
#define PAVONIZE_CALL __stdcall
#else
#ifdef __cplusplus
typedef char16_t PavonizePathChar;
#else
#include <uchar.h>
typedef char16_t PavonizePathChar;
#endif
#define PAVONIZE_CALL
#endif

#if defined(_WIN32) && defined(ORVANEPAVONIZE_BUILDING)
/* The DLL's module-definition file names the export: dllexport would add
 * the decorated __stdcall name (Pavonize@8) on 32-bit x86. */
#define PAVONIZE_API
#elif defined(_WIN32)
#define PAVONIZE_API __declspec(dllimport)
#elif defined(ORVANEPAVONIZE_BUILDING)
#define PAVONIZE_API __attribute__((visibility("default")))
#else
#define PAVONIZE_API
#endif

/* The value Pavonize returns whenever it returns. */
#define PAVONIZE_DONE 999

#ifdef __cplusplus
extern "C" {
#endif

/* Recolours the BMP file at inputPath into outputPath and returns 999.
 * Prints "BMP image loaded successfully!" and "image saved" (each with a
 * line feed) on standard output. Any failure prints its message instead
 * and ends the process with status 1: an input that cannot be read, or a
 * null inputPath ("read BMP file failed"); an input refused as damaged or
 * unsupported (the line says why); an output that cannot be opened, or a
 * null outputPath ("read BMP image failed", with no line feed); a failed
 * write ("write BMP image failed"); memory; an internal error. Calls are
 * serialised inside the library: one image at a time per process. */
PAVONIZE_API int32_t PAVONIZE_CALL Pavonize(const PavonizePathChar* inputPath,
                                            const PavonizePathChar* outputPath);

/* What a call of PavonizeFile or PavonizeMemory came to. */
#define PAVONIZE_OK 0
#define PAVONIZE_INPUT_UNREADABLE 1 /* the input cannot be opened or read */
#define PAVONIZE_INPUT_MALFORMED 2  /* damaged: not a BMP, truncated, inconsistent */
#define PAVONIZE_INPUT_UNSUPPORTED \
    3                            /* a valid BMP that is not recoloured: depth, compression, size */
#define PAVONIZE_OUTPUT_FAILED 4 /* the output cannot be created, written or finished */
#define PAVONIZE_OUT_OF_MEMORY 5
#define PAVONIZE_INTERNAL 6

typedef struct PavonizeStatus {
    int32_t problem;   /* PAVONIZE_OK or one of the codes above */
    int32_t osError;   /* errno of the system call that failed, else 0 */
    char message[128]; /* the library's message, without a line feed, as Pavonize
                          prints it ("read BMP file failed", "BMP file is truncated",
                          ...); empty on success */
} PavonizeStatus;

/* The Windows DLL keeps its one export; its build still compiles these. */
#if !defined(_WIN32) || defined(ORVANEPAVONIZE_BUILDING)

/* Recolours the BMP file at inputPath into outputPath. The paths are the
 * system's own byte strings, passed to it unchanged (any file name, UTF-8
 * or not). The output is saved as Pavonize saves it: a new file appears
 * complete or not at all, and an existing one is replaced atomically where
 * it can be (see docs/safe-replacement.md).
 *
 * colours: NULL to draw four from the library's generator, as Pavonize
 * does, or 12 bytes: red, green, blue of bands 0, 1, 2, 3, which go into
 * palette entries 0-3 (the generator is then not drawn from).
 *
 * status may be NULL. The result is status->problem: PAVONIZE_OK when the
 * image was saved. Never prints and never ends the process. Any number of
 * calls may run at once on different threads, each with its own image; the
 * twelve draws of one call are taken together, so every call gets four
 * consecutive colours of the sequence. */
PAVONIZE_API int32_t PavonizeFile(const char* inputPath, const char* outputPath,
                                  const uint8_t* colours, PavonizeStatus* status);

/* Recolours the BMP image held in the inputSize bytes at input into a new
 * BMP image in memory: on PAVONIZE_OK, *output points to *outputSize bytes
 * that the caller owns and hands back to PavonizeRelease. On failure
 * *output is NULL and *outputSize 0. output and outputSize must not be NULL
 * (PAVONIZE_OUTPUT_FAILED when they are). Reads and writes no file;
 * colours and status as for PavonizeFile. */
PAVONIZE_API int32_t PavonizeMemory(const void* input, size_t inputSize, const uint8_t* colours,
                                    void** output, size_t* outputSize, PavonizeStatus* status);

/* Frees an image that PavonizeMemory handed back; NULL does nothing. */
PAVONIZE_API void PavonizeRelease(void* output);

/* The palette PavonizePixels hands back: red, green, blue of 256 entries. */
#define PAVONIZE_PALETTE_BYTES 768

/* Bands grey pixels a host decoded itself (from a PNG, a camera, an array):
 * the width x height grey levels at grey, rows greyStride bytes apart, are
 * mapped to bands 0-3 into bands, rows bandsStride bytes apart (bands may
 * be grey itself, with the same stride), and palette (768 bytes) receives
 * the result's 256 colours: entries 0-3 the four colours, the rest the grey
 * ramp. The same bands and palette as PavonizeMemory on an 8-bit BMP of
 * those greys with a grey palette. colours and status as for PavonizeFile.
 * An empty image (width or height 0) needs no pixel buffers. Reads and
 * writes no file and allocates nothing. */
PAVONIZE_API int32_t PavonizePixels(const uint8_t* grey, size_t width, size_t height,
                                    size_t greyStride, const uint8_t* colours, uint8_t* bands,
                                    size_t bandsStride, uint8_t* palette, PavonizeStatus* status);

/* Saves byteCount bytes that the host encoded itself (an indexed PNG of
 * PavonizePixels' result, say) as the file outputPath, with the same safe
 * replacement as PavonizeFile's output. PAVONIZE_OK, or
 * PAVONIZE_OUTPUT_FAILED with the system's errno. */
PAVONIZE_API int32_t PavonizeWriteFile(const char* outputPath, const void* bytes, size_t byteCount,
                                       PavonizeStatus* status);

#endif

#ifdef __cplusplus
}
#endif

#endif
