// How a library file carries its resources on a platform whose executable
// format has no resource section. The resources travel in one ELF note,
// in an allocated section, so they are mapped with the library and found
// through its program headers, much as the platform's own resource look-up
// finds them in the mapped image.
//
// Note descriptor, all fields little-endian:
//   u32 entryCount
//   entryCount x { type[16] (NUL-padded: a name such as "TYPELIB", or "#16"
//                  for a numeric type), u16 id, u16 language,
//                  u32 offset (from the descriptor's start), u32 size }
//   the resources' bytes, each starting on a four-byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr char kResourceNoteOwner[] = "Resources";  // namesz includes the NUL
inline constexpr uint32_t kResourceNoteType = 1;
inline constexpr size_t kResourceDirectoryHeaderBytes = 4;
inline constexpr size_t kResourceTypeBytes = 16;
inline constexpr size_t kResourceEntryBytes = kResourceTypeBytes + 2 + 2 + 4 + 4;

// The platform's numeric resource types, written "#n" in the type field.
inline constexpr char kResourceTypeString[] = "#6";
inline constexpr char kResourceTypeVersion[] = "#16";
