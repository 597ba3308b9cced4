// Reading an input the command line decodes itself, as the library reads a
// BMP: only a regular file, opened without waiting on a FIFO.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Up to `byteCount` first bytes of the regular file at `path`; 0 when it is
// not one or cannot be read.
size_t ReadFileHead(const std::string& path, uint8_t* buffer, size_t byteCount);

// The whole regular file at `path`, of at most `maxBytes` bytes. False
// with errno in `osError` when it cannot be opened or read (EFBIG when it
// is larger).
bool ReadWholeFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>* bytes,
                   int* osError);
