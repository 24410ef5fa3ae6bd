#!/usr/bin/env python3
"""Checks the release package: it holds Tavaren.exe, byte for byte the release build's, and the players'
notes, plain ASCII text with CRLF line ends, and nothing else.

    check_package.py PACKAGE.zip RELEASE_EXE NOTES_NAME

Exit status 0 when all holds, 1 otherwise (each problem is printed).
"""

import sys
import zipfile


def problems(package, exe, notes):
    with zipfile.ZipFile(package) as archive:
        names = sorted(archive.namelist())
        if names != sorted(["Tavaren.exe", notes]):
            yield f"{package} holds {names}, expected Tavaren.exe and {notes}"
            return
        with open(exe, "rb") as built:
            if archive.read("Tavaren.exe") != built.read():
                yield f"Tavaren.exe in {package} is not byte for byte {exe}"
        text = archive.read(notes)
        if not text.endswith(b"\r\n") or b"\n" in text.replace(b"\r\n", b""):
            yield f"{notes} has a line that does not end with CRLF"
        if not text.isascii() or b"@" in text:
            yield f"{notes} is not plain ASCII text with every @VARIABLE@ filled in"


def main():
    package, exe, notes = sys.argv[1:4]
    try:
        found = list(problems(package, exe, notes))
    except (OSError, zipfile.BadZipFile) as error:
        found = [f"cannot be read ({error}); cmake --workflow --preset release-x86 makes it"]
    for problem in found:
        print(f"release package: {problem}")
    if not found:
        print(f"release package: {package} holds {exe} byte for byte and {notes} with CRLF line ends")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
