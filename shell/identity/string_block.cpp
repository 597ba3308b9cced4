// A string-table resource holds strings in blocks of sixteen: block n has
// strings 16(n-1) to 16(n-1)+15, each a 16-bit unit count followed by that
// many UTF-16 units, no terminator; missing strings have count 0.
#include <cstring>

#include "identity_ids.h"
#include "identity_layouts.h"

using identity::kStringsPerBlock;

Bytes BuildStringBlock(uint16_t stringId, const char* text)
{
    Bytes block;
    for (uint16_t slot = 0; slot < kStringsPerBlock; ++slot) {
        if (slot == stringId % kStringsPerBlock) {
            Append16(block, static_cast<uint16_t>(std::strlen(text)));
            AppendUtf16(block, text);
        } else {
            Append16(block, 0);
        }
    }
    return block;
}
