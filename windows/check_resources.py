#!/usr/bin/python3
"""Checks that a Windows DLL carries the identity resources byte for byte as
the Linux library carries them.

usage: check_resources.py DLL LINUX_LIBRARY

The Linux library keeps its resources in one ELF note (owner "Resources",
type 1) in its section .note.resources: a u32 count, then for each resource
a 16-byte NUL-padded type ("TYPELIB", or "#n" for numeric type n), u16
identifier, u16 language, u32 offset and u32 size, all little-endian. The
DLL's resource directory must hold the same resources, the version block
(type 16) 1, "TYPELIB" 1 and string block (type 6) 7, each in language 1033
alone, with the same bytes, and nothing else.
"""
import struct
import sys

import pefile

EXPECTED = {(16, 1, 1033), ("TYPELIB", 1, 1033), (6, 7, 1033)}

failures = []


def check(good, what):
    print(("ok   " if good else "FAIL ") + what)
    if not good:
        failures.append(what)


def elf_section(data, wanted):
    """The bytes of the section named `wanted` of a little-endian ELF file."""
    wide = data[4] == 2  # ELFCLASS64
    if wide:
        shoff, = struct.unpack_from("<Q", data, 0x28)
        shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x3A)
        header = "<IIQQQQ"
    else:
        shoff, = struct.unpack_from("<I", data, 0x20)
        shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x2E)
        header = "<IIIIII"
    sections = [struct.unpack_from(header, data, shoff + i * shentsize) for i in range(shnum)]
    names_at = sections[shstrndx][4]
    for name, _type, _flags, _address, offset, size in sections:
        end = data.index(b"\0", names_at + name)
        if data[names_at + name:end].decode() == wanted:
            return data[offset:offset + size]
    return None


def linux_resources(path):
    with open(path, "rb") as file:
        notes = elf_section(file.read(), ".note.resources")
    if notes is None:
        return None
    name_bytes, descriptor_bytes, _note_type = struct.unpack_from("<III", notes, 0)
    descriptor_at = 12 + (name_bytes + 3) // 4 * 4
    descriptor = notes[descriptor_at:descriptor_at + descriptor_bytes]
    count, = struct.unpack_from("<I", descriptor, 0)
    resources = {}
    for i in range(count):
        at = 4 + i * 28
        type_text = descriptor[at:at + 16].rstrip(b"\0").decode()
        identifier, language, offset, size = struct.unpack_from("<HHII", descriptor, at + 16)
        resource_type = int(type_text[1:]) if type_text.startswith("#") else type_text
        resources[(resource_type, identifier, language)] = descriptor[offset:offset + size]
    return resources


def dll_resources(path):
    pe = pefile.PE(path)
    resources = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for by_type in directory.entries if directory else []:
        resource_type = str(by_type.name) if by_type.name is not None else by_type.id
        for by_id in by_type.directory.entries:
            for by_language in by_id.directory.entries:
                entry = by_language.data.struct
                resources[(resource_type, by_id.id, by_language.id)] = pe.get_data(
                    entry.OffsetToData, entry.Size)
    return resources


def main(dll, library):
    linux = linux_resources(library)
    check(linux is not None and set(linux) == EXPECTED,
          f"the Linux library carries {sorted(map(str, EXPECTED))}"
          f" (found {sorted(map(str, linux or {}))})")
    windows = dll_resources(dll)
    check(set(windows) == EXPECTED,
          f"the DLL's resource directory holds exactly those (found {sorted(map(str, windows))})")
    for key in sorted(EXPECTED, key=str):
        mine, theirs = windows.get(key), (linux or {}).get(key)
        check(mine is not None and mine == theirs,
              f"resource {key}: {len(mine or b'')} bytes, the same as the Linux library's"
              f" {len(theirs or b'')}")
    print("all checks passed" if not failures else f"{len(failures)} checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
