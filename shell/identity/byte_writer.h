// Appends little-endian fields to a growing byte buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "byte_order.h"

using Bytes = std::vector<uint8_t>;

inline void Append16(Bytes& out, uint16_t value)
{
    out.resize(out.size() + 2);
    WriteLe16(out.data() + out.size() - 2, value);
}

inline void Append32(Bytes& out, uint32_t value)
{
    out.resize(out.size() + 4);
    WriteLe32(out.data() + out.size() - 4, value);
}

inline void AppendBytes(Bytes& out, const Bytes& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

inline void PadToFour(Bytes& out, uint8_t filler = 0)
{
    while (out.size() % 4 != 0) {
        out.push_back(filler);
    }
}

// The identity texts are plain ASCII, so each character is one UTF-16 unit.
inline void AppendUtf16(Bytes& out, std::string_view text)
{
    for (char c : text) {
        Append16(out, static_cast<uint8_t>(c));
    }
}

// Puts `value` over the 16-bit field at `offset`.
inline void Patch16(Bytes& out, size_t offset, uint16_t value)
{
    WriteLe16(out.data() + offset, value);
}
