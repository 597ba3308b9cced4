#!/usr/bin/python3
"""Checks a built ORVANEPAVONIZE.dll with pefile, the way Windows reads it.

usage: check_dll.py DLL MACHINE [OBJDUMP]   (MACHINE: x86 or x64)

The export directory names the module ORVANEPAVONIZE.dll, starts ordinals at
1 and holds one export, Pavonize at ordinal 1, undecorated. The DLL has an
entry point for the loader to call. From the framework DLL it imports the
five operations of its attach and detach, by ordinal alone; it imports no
compiler runtime DLL, so it loads with nothing beside it but Windows and the
framework DLL.
On 32-bit x86, OBJDUMP (the toolchain's) shows that Pavonize returns with
"ret $0x8": it removes its two arguments, as __stdcall does.
"""
import re
import subprocess
import sys

import pefile

MACHINES = {
    "x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
    "x64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"],
}

FRAMEWORK_DLL = "ORVANEPAVONIZE_FRAMEWORK.dll"
# Current module state, extension-module initialisation, allocate, construct
# the dynamic-library record, extension-module termination.
FRAMEWORK_ORDINALS = {644, 655, 315, 88, 699}

failures = []


def check(good, what):
    print(("ok   " if good else "FAIL ") + what)
    if not good:
        failures.append(what)


def main(path, machine, objdump):
    pe = pefile.PE(path, fast_load=False)
    check(pe.FILE_HEADER.Machine == MACHINES[machine], f"machine is {machine}")
    check(pe.is_dll(), "the image is a DLL")

    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    check(exports is not None, "there is an export directory")
    if exports is not None:
        directory = exports.struct
        check(exports.name == b"ORVANEPAVONIZE.dll",
              f"the module is named ORVANEPAVONIZE.dll (found {exports.name!r})")
        check(directory.Base == 1, f"ordinal base is 1 (found {directory.Base})")
        listed = [(symbol.ordinal, symbol.name, symbol.forwarder) for symbol in exports.symbols]
        check(directory.NumberOfFunctions == 1 and directory.NumberOfNames == 1
              and listed == [(1, b"Pavonize", None)],
              f"one export, Pavonize at ordinal 1 (found {listed})")

    check(pe.OPTIONAL_HEADER.AddressOfEntryPoint != 0, "the DLL has an entry point")

    imports = getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
    imported = [entry.dll.decode() for entry in imports]
    runtime = [name for name in imported if name.lower().startswith("lib")]
    check(not runtime, f"no compiler runtime DLL is imported (imports {imported})")
    check_framework_imports(imports)

    if machine == "x86" and objdump:
        check_stdcall(path, objdump)

    print("all checks passed" if not failures else f"{len(failures)} checks failed")
    return 1 if failures else 0


def check_framework_imports(imports):
    from_framework = [entry for entry in imports if entry.dll.decode() == FRAMEWORK_DLL]
    check(len(from_framework) == 1, f"{FRAMEWORK_DLL} is imported once")
    if len(from_framework) != 1:
        return
    found = [(symbol.ordinal, symbol.name) for symbol in from_framework[0].imports]
    by_ordinal = [ordinal for ordinal, name in found if name is None and ordinal is not None]
    check(len(found) == len(FRAMEWORK_ORDINALS) and set(by_ordinal) == FRAMEWORK_ORDINALS,
          f"from {FRAMEWORK_DLL}: ordinals {sorted(FRAMEWORK_ORDINALS)}, by ordinal alone"
          f" (found {found})")


def check_stdcall(path, objdump):
    listing = subprocess.run([objdump, "-d", path], check=True, capture_output=True,
                             text=True).stdout
    body = re.search(r"<_Pavonize@8>:\n(.*?)(?:\n\n|\Z)", listing, re.S)
    returns = re.findall(r"\tret\S*\s*(\S*)", body.group(1)) if body else []
    check(bool(returns) and all(operand == "$0x8" for operand in returns),
          f"_Pavonize@8 returns with ret $0x8 (found {returns or 'no function'})")


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4) or sys.argv[2] not in MACHINES:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) == 4 else None))
