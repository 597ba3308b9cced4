/* OrvanePavonize: false-colour an 8-bit BMP image in four bands.
 *
 * One entry point. Pavonize reads the BMP file at inputPath, gives palette
 * entries 0-3 four pseudo-random colours, maps every pixel to one of four
 * bands by its grey level, writes the result to outputPath and returns 999.
 * Paths are null-terminated UTF-16 strings. Progress goes to standard output.
 *
 * There is no error result: every failure ends the calling process with exit
 * status 1 after a one-line message on standard output. That is an input
 * that cannot be read, or a null inputPath ("read BMP file failed"); an
 * input refused as damaged or unsupported (the line says why); an output
 * that cannot be opened, or a null outputPath ("read BMP image failed", with
 * no line feed); a failed write ("write BMP image failed"); a pixel buffer
 * that cannot be allocated; and an internal error. A host that must outlive
 * a bad image calls Pavonize in a child process.
 *
 * Calls are serialised inside the library; the pseudo-random generator is
 * never seeded, so the first call in a process always draws the same colours.
 *
 * This header compiles as C and as C++. */
#ifndef ORVANEPAVONIZE_ORVANEPAVONIZE_H
#define ORVANEPAVONIZE_ORVANEPAVONIZE_H

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

PAVONIZE_API int32_t PAVONIZE_CALL Pavonize(const PavonizePathChar* inputPath,
                                            const PavonizePathChar* outputPath);

#ifdef __cplusplus
}
#endif

#endif
