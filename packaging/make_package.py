#!/usr/bin/env python3
"""Makes the release package from the files that the package step staged:

    make_package.py STAGED_DIR PACKAGE.zip SOURCE_DATE_EPOCH

PACKAGE.zip holds every staged file, at its top; PACKAGE.zip.sha256 beside it holds its checksum in
sha256sum's format. The zip's bytes follow from the staged files and the date alone: entries in name order,
each dated SOURCE_DATE_EPOCH (UTC), with no owner, permissions or other extra fields, compressed at one
fixed level. Whoever packs the same files, wherever and whenever, gets the same zip.

With TAVAREN_SIGN_PKCS12 (a PKCS#12 file holding the key and certificate) and TAVAREN_SIGN_PASSWORD_FILE
(a file holding its password) in the environment, each .exe is signed with Authenticode (SHA-256) before
it is packed; TAVAREN_SIGN_TIMESTAMP_URL adds an RFC 3161 time stamp from that server. The staged files
stay as built.

Exit status 0 when the package is made; otherwise 1, with one line on stderr that says why.
"""

import hashlib
import os
import subprocess
import sys
import tempfile
import time
import zipfile

EARLIEST_ZIP_DATE = (1980, 1, 1, 0, 0, 0)


class PackageError(Exception):
    pass


def signing_request():
    """The certificate, password file and time stamp server to sign with, or None when none is given."""
    pkcs12 = os.environ.get("TAVAREN_SIGN_PKCS12", "")
    password_file = os.environ.get("TAVAREN_SIGN_PASSWORD_FILE", "")
    if not pkcs12 and not password_file:
        return None
    if not pkcs12 or not password_file:
        raise PackageError("release: no package made: signing needs both TAVAREN_SIGN_PKCS12 and "
                           "TAVAREN_SIGN_PASSWORD_FILE, and only one of them is set")
    return pkcs12, password_file, os.environ.get("TAVAREN_SIGN_TIMESTAMP_URL", "")


def sign(exe, signed, request):
    pkcs12, password_file, timestamp_url = request
    name = os.path.basename(exe)
    # The password goes by its file, so that it never shows on a command line.
    command = ["osslsigncode", "sign", "-pkcs12", pkcs12, "-readpass", password_file, "-h", "sha256",
               "-n", "Tavaren launcher", "-in", exe, "-out", signed]
    if timestamp_url:
        command += ["-ts", timestamp_url]
    try:
        result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, errors="replace", check=False)
    except OSError as error:
        raise PackageError(f"release: {name} cannot be signed, no package made: osslsigncode cannot run "
                           f"({error.strerror}); scripts/install-deps.sh installs it") from error
    if result.returncode != 0 or not os.path.isfile(signed):
        # osslsigncode's first line names the cause; OpenSSL's error stack follows it.
        lines = [line.strip() for line in result.stdout.splitlines() if line.strip()]
        reason = lines[0] if lines else f"osslsigncode ended with status {result.returncode}"
        raise PackageError(f"release: {name} cannot be signed, no package made: {reason}")
    stamped = f", time stamp from {timestamp_url}" if timestamp_url else ""
    print(f"release: {name} signed with {pkcs12} (Authenticode, SHA-256{stamped})")


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
    request = signing_request()
    date_time = max(time.gmtime(source_date)[:6], EARLIEST_ZIP_DATE)
    with tempfile.TemporaryDirectory() as scratch:
        files = []
        for name, path in staged_files(staged_dir):
            if request and name.lower().endswith(".exe"):
                signed = os.path.join(scratch, os.path.basename(name))
                sign(path, signed, request)
                path = signed
            files.append((name, path))
        write_zip(package, files, date_time)
    with open(package, "rb") as made:
        digest = hashlib.sha256(made.read()).hexdigest()
    with open(package + ".sha256", "w", encoding="ascii", newline="\n") as checksum:
        checksum.write(f"{digest}  {os.path.basename(package)}\n")


def main():
    staged_dir, package, source_date = sys.argv[1:4]
    try:
        make_package(staged_dir, package, int(source_date))
    except PackageError as error:
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
