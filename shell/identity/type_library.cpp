// A type library in the MSFT layout: a header of 21 fields, the segment
// directory (15 entries of offset, length, -1, 0x0F), then the segments. A
// library with no type descriptions needs only four of them: the GUID hash
// table and GUID table, which hold the library's GUID, and the name hash
// table and name table, which hold its name. The rest are empty (offset -1).
#include <cstring>

#include "identity_layouts.h"
#include "identity_values.h"

namespace {

constexpr uint32_t kMagic = 0x5446534D;  // "MSFT"
constexpr uint32_t kFormatVersion = 0x00010002;
constexpr uint32_t kAlwaysSetFlags = 0x40;  // ORed with the syskind
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kHeaderBytes = size_t{21} * 4;
constexpr int kSegments = 15;
constexpr size_t kSegmentDirectoryBytes = size_t{kSegments} * 16;
constexpr int kGuidHashSegment = 4;
constexpr int kGuidSegment = 5;
constexpr int kNameHashSegment = 6;
constexpr int kNameSegment = 7;
constexpr uint32_t kGuidHashBuckets = 0x80 / 4;
constexpr uint32_t kNameHashBuckets = 0x200 / 4;
constexpr uint32_t kLibraryGuidHref = 0xFFFFFFFE;  // -2: the GUID is the library's
constexpr uint8_t kNamePadding = 0x57;

Bytes LibraryGuid()
{
    Bytes guid;
    Append32(guid, identity::kTypeLibraryGuidData1);
    Append16(guid, identity::kTypeLibraryGuidData2);
    Append16(guid, identity::kTypeLibraryGuidData3);
    guid.insert(guid.end(), std::begin(identity::kTypeLibraryGuidData4),
                std::end(identity::kTypeLibraryGuidData4));
    return guid;
}

// GUIDs hash by XOR of their eight 16-bit words.
uint32_t GuidBucket(const Bytes& guid)
{
    uint32_t hash = 0;
    for (size_t i = 0; i < guid.size(); i += 2) {
        hash ^= ReadLe16(guid.data() + i);
    }
    return hash % kGuidHashBuckets;
}

// Names hash case-insensitively to 16 bits; look-ups compare the hash before
// the text.
uint32_t NameHash(const char* name)
{
    uint32_t hash = 0x0DEADBEE;
    for (const char* c = name; *c; ++c) {
        uint8_t unit = static_cast<uint8_t>(*c);
        if (unit >= 'a' && unit <= 'z') {
            unit = static_cast<uint8_t>(unit - 'a' + 'A');
        }
        hash = hash * 37 + unit;
    }
    return (hash % 65599) & 0xFFFF;
}

Bytes HashTable(uint32_t buckets, uint32_t usedBucket)
{
    Bytes table;
    for (uint32_t i = 0; i < buckets; ++i) {
        Append32(table, i == usedBucket ? 0 : kNone);  // the one entry sits at offset 0
    }
    return table;
}

}  // namespace

Bytes BuildTypeLibrary()
{
    const char* name = identity::kTypeLibraryName;
    const uint32_t nameLength = static_cast<uint32_t>(std::strlen(name));
    const uint32_t nameHash = NameHash(name);

    Bytes guid = LibraryGuid();
    Bytes segments[kSegments];
    segments[kGuidHashSegment] = HashTable(kGuidHashBuckets, GuidBucket(guid));
    AppendBytes(segments[kGuidSegment], guid);
    Append32(segments[kGuidSegment], kLibraryGuidHref);
    Append32(segments[kGuidSegment], kNone);  // next in the hash bucket
    segments[kNameHashSegment] = HashTable(kNameHashBuckets, nameHash % kNameHashBuckets);
    Append32(segments[kNameSegment], kNone);  // names no type description
    Append32(segments[kNameSegment], kNone);  // next in the hash bucket
    Append32(segments[kNameSegment], nameLength | nameHash << 16);
    segments[kNameSegment].insert(segments[kNameSegment].end(), name, name + nameLength);
    PadToFour(segments[kNameSegment], kNamePadding);

    Bytes library;
    Append32(library, kMagic);
    Append32(library, kFormatVersion);
    Append32(library, 0);  // the library's GUID: offset 0 in the GUID table
    Append32(library, identity::kTypeLibraryLcid);
    Append32(library, identity::kTypeLibraryLcid);
    Append32(library, kAlwaysSetFlags | identity::kTypeLibrarySyskind);
    Append32(library, identity::kTypeLibraryMajor |
                          static_cast<uint32_t>(identity::kTypeLibraryMinor) << 16);
    Append32(library, 0);      // library flags
    Append32(library, 0);      // type descriptions
    Append32(library, kNone);  // help string
    Append32(library, 0);      // help string context
    Append32(library, 0);      // help context
    Append32(library, 1);      // names in the name table
    Append32(library, nameLength);
    Append32(library, 0);      // the library's name: offset 0 in the name table
    Append32(library, kNone);  // help file
    Append32(library, kNone);  // custom data
    Append32(library, kGuidHashBuckets);
    Append32(library, kNameHashBuckets);
    Append32(library, kNone);  // no IDispatch reference
    Append32(library, 0);      // imported types

    uint32_t offset = static_cast<uint32_t>(kHeaderBytes + kSegmentDirectoryBytes);
    for (const Bytes& segment : segments) {
        Append32(library, segment.empty() ? kNone : offset);
        Append32(library, static_cast<uint32_t>(segment.size()));
        Append32(library, kNone);
        Append32(library, 0x0F);
        offset += static_cast<uint32_t>(segment.size());
    }
    for (const Bytes& segment : segments) {
        AppendBytes(library, segment);
    }
    return library;
}
