// Standard output as GNU tools treat it: what was meant for it and did not
// arrive is a failure of the run, reported once, at the end.
#pragma once

#include <cstddef>

// Run first. A standard stream that is closed gets a descriptor all the
// same, so no file the library opens takes its number; a closed standard
// output gets one that refuses writes, so that anything printed there
// fails as it would have, instead of vanishing into /dev/null.
void KeepStandardStreamsOpen();

// Whether standard output was open for writing at start: only then can an
// output path be the same file as it.
bool StandardOutputIsWritable();

// Writes `count` bytes to standard output as they are. After the first
// failure the rest is dropped; the failure is reported by
// FinishStandardOutput.
void WriteStandardOutput(const char* bytes, size_t count);

// Flushes what was printed through stdio, keeping the first failure. Run
// before anything else may flush it (a library's detach does), so the
// failure's reason is the write's own.
void FlushStandardOutput();

// Flushes what was printed through stdio and returns `status`, or 1 after
// "pavonize: write error: REASON" when anything meant for standard output
// did not reach it.
int FinishStandardOutput(int status);
