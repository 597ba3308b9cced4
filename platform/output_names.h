// The names an output in progress keeps, made the same way on every
// platform: copies of paths, and the short name of a temporary file.
#pragma once

#include <cstddef>
#include <cstdint>

// A null-terminated copy of the first `bytes` bytes of `text`, from
// PlatformAllocate; nullptr when memory runs out.
char* CopyText(const char* text, size_t bytes);

constexpr size_t kTemporaryNameBytes = 32;

// ".pavonize-" and twelve hex digits: short enough for any file system's
// name limit, whatever the length of the output's own name. `entropy` is
// the platform's mix of process and time; a counter tells the temporaries of
// one process apart.
void TemporaryName(char (&name)[kTemporaryNameBytes], uint64_t entropy);
