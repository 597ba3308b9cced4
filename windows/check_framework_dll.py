#!/usr/bin/python3
"""Checks the framework DLL's export directory with pefile.

usage: check_framework_dll.py DLL MACHINE   (MACHINE: x86 or x64)

The module is named ORVANEPAVONIZE_FRAMEWORK.dll. The five operations an
extension library's attach and detach use are exported at their ordinals
without names (its libraries import them by ordinal): 644 current module
state, 655 extension-module initialisation, 315 allocate, 88 construct the
dynamic-library record, 699 extension-module termination. Beside them only
the three named exports a host reads the registrations and the chain with.
No compiler runtime DLL is imported.
"""
import sys

import pefile

MACHINES = {
    "x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
    "x64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"],
}
UNNAMED = {644, 655, 315, 88, 699}
NAMED = {b"FrameworkFirstDynamicLibrary", b"FrameworkIsRegistered",
         b"FrameworkRegisteredModuleCount"}

failures = []


def check(good, what):
    print(("ok   " if good else "FAIL ") + what)
    if not good:
        failures.append(what)


def main(path, machine):
    pe = pefile.PE(path)
    check(pe.FILE_HEADER.Machine == MACHINES[machine], f"machine is {machine}")
    check(pe.is_dll(), "the image is a DLL")

    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    check(exports is not None, "there is an export directory")
    if exports is not None:
        check(exports.name == b"ORVANEPAVONIZE_FRAMEWORK.dll",
              f"the module is named ORVANEPAVONIZE_FRAMEWORK.dll (found {exports.name!r})")
        symbols = [symbol for symbol in exports.symbols if symbol.address]
        unnamed = {symbol.ordinal for symbol in symbols if symbol.name is None}
        named = {symbol.name for symbol in symbols if symbol.name is not None}
        check(unnamed == UNNAMED,
              f"ordinals {sorted(UNNAMED)} are exported without names (found {sorted(unnamed)})")
        check(named == NAMED, f"the named exports are {sorted(NAMED)} (found {sorted(named)})")
        addresses = [symbol.address for symbol in symbols if symbol.ordinal in UNNAMED]
        check(len(set(addresses)) == len(UNNAMED), "each operation has an address of its own")

    imported = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    runtime = [name for name in imported if name.lower().startswith("lib")]
    check(not runtime, f"no compiler runtime DLL is imported (imports {imported})")

    print("all checks passed" if not failures else f"{len(failures)} checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in MACHINES:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
