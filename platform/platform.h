// The one door to the C library and the operating system. Everything the
// recolouring and the shell take from the platform goes through here. A port
// supplies the files of this folder named for a platform (_posix, _linux,
// _win32), and also, where the platform's loader and binary format differ,
// the shell's entry point and resource container and the framework's loader
// and resource look-up (shell/, framework/). The test seams exist only in
// the copies of these objects compiled for the tests
// (ORVANEPAVONIZE_TEST_SEAMS); the shipped library has none.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Memory ---------------------------------------------------------------

// General allocator: a buffer of `byteCount` bytes, or nullptr.
void* PlatformAllocate(size_t byteCount);
// Releases a buffer from PlatformAllocate; nullptr does nothing.
void PlatformRelease(void* buffer);

// ---- Standard output --------------------------------------------------------

// Writes `text` unchanged to standard output and flushes it, so messages
// appear in order even when the process ends straight after.
void PlatformPrint(const char* text);

// ---- Ending the process -----------------------------------------------------

// Ends the process with `status` through the runtime's exit routine (exit
// handlers and static shut-down run first). Never returns.
[[noreturn]] void PlatformEndProcess(int status);

// Runs the runtime's static shut-down without ending the process, as a
// library's detach does.
void PlatformStaticShutdown();

#ifdef ORVANEPAVONIZE_TEST_SEAMS
// Test seam: while intercepted, ending the process throws ProcessEnded
// instead (after the same shut-down), so an in-process test can carry on.
struct ProcessEnded {
    int status;
};
// Returns whether it was intercepted before.
bool PlatformInterceptEndProcess(bool intercept);
#endif

// ---- The call lock ----------------------------------------------------------

// One lock for the whole module, for the module-wide image state. It is a
// constant: nothing runs for it when the library is loaded or unloaded.
void PlatformLockCall();
void PlatformUnlockCall();

// ---- Pseudo-random numbers --------------------------------------------------

// `count` consecutive non-negative pseudo-random integers from the
// module's own generator, taken together: calls on other threads draw
// before or after them, never in between. Takes no lock, so a fork at any
// moment leaves the generator usable. The generator is never seeded and its
// sequence is fixed by its definition, so a process's first values are the
// same on every platform.
void PlatformRandomRun(int32_t* values, int32_t count);

#ifdef ORVANEPAVONIZE_TEST_SEAMS
// Test seam: replaces the random source; nullptr restores the generator.
using RandomSource = int32_t (*)();
RandomSource PlatformReplaceRandomSource(RandomSource source);
#endif

// ---- Wide to narrow paths ---------------------------------------------------

// Number of 16-bit units before the terminator.
size_t PlatformWideLength(const char16_t* wide);
// Size of a narrow buffer that holds the longest result for `units` units,
// terminator included.
size_t PlatformNarrowBufferBytes(size_t units);
// Converts `wide` (terminator included) into the platform's narrow path
// encoding. Characters the encoding cannot represent become its default
// character. Returns false, leaving `narrow` empty, when the result does
// not fit in `narrowBytes`.
bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowBytes);

// ---- Reading files ----------------------------------------------------------

using PlatformHandle = intptr_t;
constexpr PlatformHandle kNoPlatformHandle = -1;

enum class InputOpenResult {
    Opened,
    CannotOpen,  // missing, unreadable, or no path
    IsDirectory,
    NotRegularFile,  // FIFO, device, socket: not something with a size
};

// Opens a regular file for reading and reports its size in bytes. Never
// blocks on a FIFO. When it cannot open, errno says why, where the system
// said.
InputOpenResult PlatformOpenInput(const char* path, PlatformHandle* handle, int64_t* fileBytes);
// Reads exactly `byteCount` bytes at `offset`; false on error (errno says
// which) or short read (errno untouched).
bool PlatformReadAt(PlatformHandle handle, int64_t offset, void* buffer, size_t byteCount);
void PlatformCloseInput(PlatformHandle handle);

// ---- Writing files ----------------------------------------------------------

// How an output is being written.
enum class OutputRoute {
    None,
    NewFile,          // a temporary that takes the name when complete
    Replacement,      // a temporary that takes the place of the existing file
    InPlace,          // the existing file itself, written over and cut to length
    StraightThrough,  // a FIFO or a device, written as it is
};

// An output in progress. An existing regular file is opened for writing
// first, so an output that "wb" could not open is refused the same way.
// Then, when a new file can take its place unchanged to its users (one link,
// its owner, group, mode, extended attributes and flags), the image goes to
// a temporary file in the same folder that PlatformFinishOutput puts in
// place; otherwise the opened file is rewritten in place. A new file is
// always made through a temporary one.
struct PlatformOutput {
    OutputRoute route = OutputRoute::None;
    PlatformHandle handle = kNoPlatformHandle;  // the temporary file, or the output itself
    PlatformHandle folder = kNoPlatformHandle;  // the output's folder, when a temporary is used
    char* targetName = nullptr;     // where the temporary goes: a name in `folder`, or a path
    char* temporaryName = nullptr;  // the temporary's name, once it has one
    bool unnamedTemporary = false;  // a temporary with no name until it is put in place
    // A new file linked to its name while still open, and which file it is,
    // so that a failed close removes that link and nothing else.
    bool linkedBeforeClose = false;
    uint64_t linkedDevice = 0;
    uint64_t linkedInode = 0;
    // The file a replacement stands in for, kept open to give the
    // replacement its owner, mode and attributes once the image is written.
    PlatformHandle replaced = kNoPlatformHandle;
};

// The output functions below leave errno saying why when they fail, where
// a system call failed (a file layer that has no errno leaves it alone).
//
// false when the output cannot be opened: a missing or unwritable folder,
// a folder as target, an existing file the caller may not write, a FIFO
// with no reader, a symbolic link or a file that another user planted in a
// shared folder such as /tmp (before or after the path was looked at), no
// path.
bool PlatformBeginOutput(const char* path, PlatformOutput* output);
// Checks the file-size limit for the `byteCount` bytes that will be
// written, and makes room for them in a file rewritten in place, before the
// first one is: a file-size limit or a full disk fails here, while the old
// file is still whole. (A temporary that fails later leaves the old file
// whole anyway.) Where the file system cannot reserve space it only checks
// the file-size limit.
bool PlatformReserveOutput(PlatformOutput* output, int64_t byteCount);
// Writes all `byteCount` bytes; false on any error or short write.
bool PlatformWrite(PlatformOutput* output, const void* bytes, size_t byteCount);
// Cuts a file rewritten in place to what was written, syncs (when
// replacing), closes and puts the temporary in place. On failure the
// temporary file is removed and false is returned.
bool PlatformFinishOutput(PlatformOutput* output);
// Closes and removes the temporary file after a failure.
void PlatformAbandonOutput(PlatformOutput* output);

// ---- Fault injection (test builds only) -------------------------------------

// The steps of writing an output that can fail. Writes are unbuffered, so
// there is no flush step; the sync is only done when replacing a file.
enum class FaultPoint {
    Write,       // one write() of PlatformWrite
    Sync,        // fsync before replacing or finishing the rewrite of a file
    Close,       // closing the output
    Rename,      // putting the temporary file in place
    Link,        // giving an unnamed temporary file a name in its folder
    Truncate,    // cutting an output rewritten in place to its new length
    Unnamed,     // creating an unnamed temporary (fails as on a file system without them)
    Reserve,     // reserving the output's space (fails as on a full disk)
    Attributes,  // giving a written replacement the old file's owner, mode and attributes
    Count,
};

// Moments between two looks at the output's name, where another user could
// plant a file at it.
enum class PlantPoint {
    AfterWalk,   // the path has been looked at, the output not yet opened
    BeforeLink,  // a new file is about to be linked to its name
    Count,
};

#ifdef ORVANEPAVONIZE_TEST_SEAMS
// Test seam: the `occurrence`-th (from 1) time `point` is reached from now
// on, it fails as the system call would on a full or failing disk, or, with
// `kill`, the process is killed there (SIGKILL) as a crash would end it; 0
// disarms it. Each point is armed on its own. Nothing in the library calls
// this.
void PlatformInjectFault(FaultPoint point, int occurrence, bool kill = false);
// Test seam: the next time `point` is reached, the file at `plantedPath`
// (made by the test, owned by another user) is moved to the output's name,
// as that user could make it there at that moment; nullptr disarms it.
void PlatformInjectPlant(PlantPoint point, const char* plantedPath);
#endif
