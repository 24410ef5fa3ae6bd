#!/usr/bin/env python3
"""Makes the release package from the files that the package step staged:

    make_package.py STAGED_DIR PACKAGE.zip SOURCE_DATE_EPOCH

PACKAGE.zip holds every staged file, at its top; PACKAGE.zip.sha256 beside it holds its checksum in
sha256sum's format. The zip's bytes follow from the staged files and the date alone: entries in name order,
each dated SOURCE_DATE_EPOCH (UTC), with no owner, permissions or other extra fields, compressed at one
fixed level. Whoever packs the same files, wherever and whenever, gets the same zip.

Exit status 0 when the package is made.
"""

import hashlib
import os
import sys
import time
import zipfile

EARLIEST_ZIP_DATE = (1980, 1, 1, 0, 0, 0)


def staged_files(staged_dir):
    """(name in the zip, path) of every staged file, in name order."""
    found = []
    for folder, _, files in os.walk(staged_dir):
        for file_name in files:
            path = os.path.join(folder, file_name)
            found.append((os.path.relpath(path, staged_dir).replace(os.sep, "/"), path))
    return sorted(found)


def write_zip(package, files, date_time):
    with zipfile.ZipFile(package, "w") as archive:
        for name, path in files:
            entry = zipfile.ZipInfo(name, date_time)
            # MS-DOS attributes rather than Unix permissions: the archive bit alone, as Windows sets it.
            entry.create_system = 0
            entry.external_attr = 0x20
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as data:
                archive.writestr(entry, data.read(), compresslevel=9)


def make_package(staged_dir, package, source_date):
    date_time = max(time.gmtime(source_date)[:6], EARLIEST_ZIP_DATE)
    write_zip(package, staged_files(staged_dir), date_time)
    with open(package, "rb") as made:
        digest = hashlib.sha256(made.read()).hexdigest()
    with open(package + ".sha256", "w", encoding="ascii", newline="\n") as checksum:
        checksum.write(f"{digest}  {os.path.basename(package)}\n")


def main():
    staged_dir, package, source_date = sys.argv[1:4]
    make_package(staged_dir, package, int(source_date))
    return 0


if __name__ == "__main__":
    sys.exit(main())
