// The whole path a host's call takes — load, colour, save — run on bytes
// that may be anything, for the fuzzer and for replaying what it found.
#pragma once

#include <cstddef>
#include <cstdint>

enum class WholePathOutcome {
    Recoloured,  // loaded, coloured, saved, and the saved file loads again
    Refused,     // the call ended the process (intercepted) with status 1
};

// Once per process: standard output goes to /dev/null, "end the process"
// becomes an exception caught here, and a scratch folder is made (on
// /dev/shm when there is one: the fuzzer writes files millions of times).
void PrepareWholePath();

// Writes `bytes` to a scratch file and recolours it into another, and
// recolours the bytes in memory too. Every promise the library makes about a
// call is checked afterwards; a broken one (a buffer left allocated, a
// descriptor left open, a temporary file left behind, a status other than
// 1, a saved image that does not load again, a memory call that does not
// agree with the file call) aborts the process, which is what a fuzzer
// reports.
//
// Bytes of a format the command line decodes itself (PNG, TIFF, JPEG, PNM)
// go through its decoder and encoders instead.
WholePathOutcome RecolourWholePath(const uint8_t* bytes, size_t byteCount);
