#!/usr/bin/env python3
"""Checks what the release Tavaren.exe's PE image tells Windows, as Windows judges it before running a line
of it: a 32-bit GUI program, with ASLR, DEP and no structured exception handlers, no memory both writable
and executable, a manifest that holds only its identity, nothing that makes Windows take it for an
installer, only the DLLs it is known to import, and no more than MAX_EXE_BYTES. Reads the file alone
(Debian's python3-pefile, and objdump for the code), so it runs where the exe cannot.

    check_pe.py EXE OBJDUMP
    check_pe.py --manifest-cases EXE

OBJDUMP is a binutils objdump that reads 32-bit PE images (i686-w64-mingw32-objdump). --manifest-cases
shows that the manifest check refuses what it is there to refuse: EXE's manifest passes, and each crafted
variant of it (an execution level, a dependency, a supported Windows, a DPI setting) fails.
Exit status 0 when all holds, 1 otherwise (each problem is printed).
"""

import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

try:
    import pefile
except ImportError:
    pefile = None

# The DLLs the exe imports, every one a Known DLL that Windows maps from the system folder whatever the DLL
# search order: they are loaded before the launcher's first instruction, so before it restricts that order.
EXPECTED_IMPORTS = {"kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "user32.dll"}
# Words that make Windows treat a 32-bit program whose manifest asks for no execution level as an installer.
INSTALLER_WORDS = re.compile(r"install|setup|update|patch", re.IGNORECASE)

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
RELOCS_STRIPPED = 0x0001
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_WRITE = 0x80000000
RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
# The one element the manifest holds, and its attributes (src/ui/launcher.manifest.in).
IDENTITY_ATTRIBUTES = {"type", "name", "version"}
# What an element of the manifest other than its identity would change, by name.
MANIFEST_EFFECTS = {
    "trustInfo": "it carries a requestedExecutionLevel, which turns off the file virtualization that lets "
                 "OK save config.cfg in a game under Program Files (docs/saving-config.md)",
    "requestedExecutionLevel": "it turns off the file virtualization that lets OK save config.cfg in a game "
                               "under Program Files, and requireAdministrator asks for elevation at every "
                               "start (docs/saving-config.md)",
    "dependency": "a dependent assembly (common controls 6 above all) changes how every dialog and control "
                  "draws and behaves",
    "compatibility": "a supportedOS entry changes the Windows version the exe is told and what the system "
                     "does for it",
    "application": "its settings (supported Windows, DPI awareness) change the reported version, the "
                   "dialogs' scaling or the browser control",
}
# The release exe is about 65 KB. It once grew to 299,008 bytes, noticed by the bench alone, when a range-
# checked string_view call pulled in the C++ library's exception code.
MAX_EXE_BYTES = 102_400


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


def manifests(pe):
    """The exe's manifest resources as (id, language, bytes)."""
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources is not None else []:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                yield name.id, language.id, pe.get_data(data.OffsetToData, data.Size)


def manifest_problems(text):
    """What is wrong with the manifest TEXT: anything besides an assembly holding its identity."""
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        yield f"the manifest is not well-formed XML ({error}): Windows then refuses to start the exe"
        return
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        yield (f"the manifest's root is {root.tag} (manifestVersion {root.get('manifestVersion')}), not an "
               "urn:schemas-microsoft-com:asm.v1 assembly of manifestVersion 1.0")
    children = list(root)
    if [child.tag for child in children] != [ASM_V1 + "assemblyIdentity"]:
        yield ("the manifest holds " + (", ".join(child.tag for child in children) or "nothing") +
               " where it should hold its assemblyIdentity alone, which a manifest must have")
    for element in root.iter():
        local = element.tag.rsplit("}", 1)[-1]
        if local in MANIFEST_EFFECTS:
            yield f"the manifest has a {local} element: {MANIFEST_EFFECTS[local]}"
    identity = root.find(ASM_V1 + "assemblyIdentity")
    if identity is not None and set(identity.attrib) != IDENTITY_ATTRIBUTES:
        yield (f"the manifest's identity has the attributes {sorted(identity.attrib)}, not "
               f"{sorted(IDENTITY_ATTRIBUTES)}: a processorArchitecture of the wrong kind, for one, stops "
               "the exe from starting")


def resource_problems(pe, exe):
    found = list(manifests(pe))
    if not found:
        yield ("the exe has no manifest resource: without one Windows honours a Tavaren.exe.local beside it "
               "(loading DLLs from the game folder whatever path the launcher asks for) and reads a planted "
               "Tavaren.exe.manifest as the exe's own (src/ui/launcher.rc embeds it)")
    elif [(name, language) for name, language, _ in found] != [(CREATEPROCESS_MANIFEST_RESOURCE_ID, 0x400)]:
        yield (f"the manifest resources are {[(name, language) for name, language, _ in found]} (id, "
               "language), not one of id 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID), the one Windows reads when "
               "it creates the process, in the neutral language 0x400")
    for _, _, text in found:
        yield from manifest_problems(text)
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
            yield (f"the {where} '{text}' holds '{word.group(0)}': Windows takes a 32-bit program whose "
                   "manifest asks for no execution level, and whose name or version strings say install, "
                   "setup, update or patch, for an installer and asks for elevation at every start")


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


def size_problems(exe):
    size = os.path.getsize(exe)
    if size > MAX_EXE_BYTES:
        yield (f"the exe is {size:,} bytes, more than the {MAX_EXE_BYTES:,} it is held to (it is about 65 KB): "
               "something pulled in a large part of the C++ library. It once grew to 299,008 bytes when a "
               "range-checked string_view call brought the library's exception code with it; look for a call "
               "that can throw (at(), substr(), std::string, std::vector growth, operator new), iostreams or "
               "locales, and a new library linked in (compare the link map, -Wl,-Map)")


# Each crafted variant of a manifest: what is put in before </assembly>, and the word its refusal names.
CRAFTED_MANIFESTS = [
    ('<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>'
     '<requestedExecutionLevel level="asInvoker" uiAccess="false"/></requestedPrivileges></security>'
     '</trustInfo>', "requestedExecutionLevel"),
    ('<dependency><dependentAssembly><assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" '
     'version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>'
     '</dependentAssembly></dependency>', "dependency"),
    ('<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1"><application>'
     '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/></application></compatibility>',
     "compatibility"),
    ('<application xmlns="urn:schemas-microsoft-com:asm.v3"><windowsSettings>'
     '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'
     '</windowsSettings></application>', "application"),
]


def manifest_cases(exe):
    """Problems with the check itself: EXE's manifest must pass, each crafted variant must fail."""
    found = list(manifests(pefile.PE(exe)))
    if len(found) != 1:
        yield f"{exe} has {len(found)} manifest resources, not one to craft variants from"
        return
    text = found[0][2].decode("utf-8")
    for problem in manifest_problems(text):
        yield f"the exe's own manifest is refused: {problem}"
    for addition, word in CRAFTED_MANIFESTS:
        refused = list(manifest_problems(text.replace("</assembly>", addition + "</assembly>")))
        print(f"release PE: a manifest with a {word} element: " + ("; ".join(refused) or "accepted"))
        if not [problem for problem in refused if word in problem]:
            yield f"a manifest with a {word} element was not refused for it"


def main():
    if sys.argv[1] == "--manifest-cases":
        found = list(manifest_cases(sys.argv[2])) if pefile else ["no pefile module (python3-pefile)"]
        for problem in found:
            print(f"release PE: {problem}")
        return 1 if found else 0
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
                     *code_problems(exe, objdump), *size_problems(exe)]
    for problem in found:
        print(f"release PE: {problem}")
    if not found:
        print(f"release PE: {exe}: i386 GUI, DllCharacteristics {pe.OPTIONAL_HEADER.DllCharacteristics:#x} "
              "(DYNAMIC_BASE with relocations, NX_COMPAT, NO_SEH), no writable code, a manifest of its identity "
              f"alone, no installer words, imports {', '.join(sorted(EXPECTED_IMPORTS))}, nothing touches "
              f"fs:0, {os.path.getsize(exe):,} bytes (at most {MAX_EXE_BYTES:,})")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
