#!/usr/bin/env python3
"""Checks what the release Tavaren.exe's PE image tells Windows, as Windows judges it before running a line
of it: a 32-bit GUI program, with ASLR, DEP and no structured exception handlers, no memory both writable
and executable, no manifest, nothing that makes Windows take it for an installer, and only the DLLs it is
known to import. Reads the file alone (Debian's python3-pefile, and objdump for the code), so it runs where
the exe cannot.

    check_pe.py EXE OBJDUMP

OBJDUMP is a binutils objdump that reads 32-bit PE images (i686-w64-mingw32-objdump).
Exit status 0 when all holds, 1 otherwise (each problem is printed).
"""

import os
import re
import subprocess
import sys

try:
    import pefile
except ImportError:
    pefile = None

# The DLLs the exe imports, every one a Known DLL that Windows maps from the system folder whatever the DLL
# search order: they are loaded before the launcher's first instruction, so before it restricts that order.
EXPECTED_IMPORTS = {"kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "user32.dll"}
# Words that make Windows treat a program without a manifest as an installer and ask for elevation.
INSTALLER_WORDS = re.compile(r"install|setup|update|patch", re.IGNORECASE)

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
RELOCS_STRIPPED = 0x0001
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_WRITE = 0x80000000
RT_MANIFEST = 24


def header_problems(pe):
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        yield (f"machine is {pe.FILE_HEADER.Machine:#x}, not i386 (0x14c): players run the 32-bit exe, "
               "on 32-bit Windows too")
    if pe.OPTIONAL_HEADER.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]:
        yield (f"subsystem is {pe.OPTIONAL_HEADER.Subsystem}, not Windows GUI (2): a console subsystem opens "
               "a console window beside the launcher")
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    relocations = sum(len(block.entries) for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []))
    if not flags & DYNAMIC_BASE:
        yield (f"DllCharacteristics {flags:#x} lacks DYNAMIC_BASE (0x40): Windows loads the exe at a fixed "
               "address, where an attacker knows where its code is (ASLR off; link with --dynamicbase)")
    if relocations == 0 or pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED:
        yield ("the base relocation table is empty or stripped: Windows cannot move the exe, so DYNAMIC_BASE "
               "does nothing (ASLR off; GNU ld keeps it with --dynamicbase)")
    if not flags & NX_COMPAT:
        yield (f"DllCharacteristics {flags:#x} lacks NX_COMPAT (0x100): a 32-bit exe without it may run "
               "code from its data and stack (DEP off; link with --nxcompat)")
    if not flags & NO_SEH:
        yield (f"DllCharacteristics {flags:#x} lacks NO_SEH (0x400): a 32-bit exe needs either a SafeSEH "
               "table, which GNU ld cannot build, or this flag, else an overwritten exception record on the "
               "stack can send Windows to any address in it (link with --no-seh)")
    for section in pe.sections:
        if section.Characteristics & SCN_MEM_WRITE and section.Characteristics & SCN_MEM_EXECUTE:
            name = section.Name.rstrip(b"\0").decode("ascii", "replace")
            yield (f"section {name} is both writable and executable: code written there at run time "
                   "would run, which DEP exists to prevent")


def resource_problems(pe, exe):
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if resources is not None and any(entry.id == RT_MANIFEST for entry in resources.entries):
        yield ("the exe has a manifest resource: one with a requestedExecutionLevel turns off the file "
               "virtualization that lets OK save config.cfg in a game under Program Files (see the README, "
               "\"Installing under Program Files\")")
    texts = [("file name", os.path.basename(exe))]
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                for key, value in table.entries.items():
                    texts.append((key.decode("utf-8", "replace"), value.decode("utf-8", "replace")))
    if len(texts) == 1:
        yield "no version strings were found, so none could be checked for installer words"
    for where, text in texts:
        word = INSTALLER_WORDS.search(text)
        if word:
            yield (f"the {where} '{text}' holds '{word.group(0)}': Windows takes a program without a manifest "
                   "whose name or version strings say install, setup, update or patch for an installer and "
                   "asks for elevation at every start")


def import_problems(pe):
    entries = getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) + getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
    imported = {entry.dll.decode("ascii", "replace").lower() for entry in entries}
    if "d3d9.dll" in imported:
        yield ("the exe imports d3d9.dll: Direct3D 9 must be loaded at run time, from the system folder, so "
               "that the launcher starts where it is missing and no d3d9.dll in the game folder is loaded")
    for name in sorted(imported - EXPECTED_IMPORTS - {"d3d9.dll"}):
        yield (f"the exe imports {name}, which it did not before: an imported DLL is loaded before the "
               "launcher restricts the DLL search, so unless it is a Known DLL one planted in the game folder "
               "is loaded; check that, and that every Windows the README names has it, then add it to "
               "EXPECTED_IMPORTS in packaging/check_pe.py")
    for name in sorted(EXPECTED_IMPORTS - imported):
        yield (f"the exe no longer imports {name}: if that is meant, take it out of EXPECTED_IMPORTS in "
               "packaging/check_pe.py (and the README's Windows versions may change)")


# An operand on the fs segment that may be fs:0, the head of the thread's exception handler chain: fs:0x0,
# or an address in a register (objdump writes "%fs:0x0" and "%fs:(%eax)"). A constant other than 0 (the
# C runtime's start-up reads the TEB's own address at fs:0x18) is not.
HANDLER_CHAIN = re.compile(r"%fs:(0x0\b|\(|-?0x[0-9a-f]*\()")


def code_problems(exe, objdump):
    try:
        listing = subprocess.run([objdump, "-d", exe], check=True, capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        yield f"cannot disassemble the exe with {objdump} ({error}), so its code was not checked"
        return
    for line in listing.splitlines():
        if HANDLER_CHAIN.search(line):
            yield (f"the code touches the exception handler chain at fs:0 ({' '.join(line.split())}): "
                   "the exe says NO_SEH, so Windows refuses a handler registered there and the exception it "
                   "was to catch ends the launcher; find what brought it in, or drop --no-seh")


def main():
    exe, objdump = sys.argv[1:3]
    if pefile is None:
        found = [f"{sys.executable} has no pefile module (Debian's python3-pefile; scripts/install-deps.sh "
                 "installs it)"]
    else:
        try:
            pe = pefile.PE(exe)
        except (OSError, pefile.PEFormatError) as error:
            found = [f"cannot be read ({error}); cmake --workflow --preset release-x86 makes it"]
        else:
            found = [*header_problems(pe), *resource_problems(pe, exe), *import_problems(pe),
                     *code_problems(exe, objdump)]
    for problem in found:
        print(f"release PE: {problem}")
    if not found:
        print(f"release PE: {exe}: i386 GUI, DllCharacteristics {pe.OPTIONAL_HEADER.DllCharacteristics:#x} "
              "(DYNAMIC_BASE with relocations, NX_COMPAT, NO_SEH), no writable code, no manifest, no installer "
              f"words, imports {', '.join(sorted(EXPECTED_IMPORTS))}, nothing touches fs:0")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
