#!/usr/bin/env bash
# Packages a release build again, signed with a throwaway certificate made here, into a folder of its own:
#   sign-release.sh RELEASE_BUILD DIR [PASSWORD_FILE]
# Makes DIR/cert/ (a self-signed code-signing certificate in certificate.pem; it and its key in
# certificate.p12, under the password in DIR/cert/password), runs RELEASE_BUILD's package step with that
# certificate, packaging into DIR, and unpacks the zip into DIR/unpacked. PASSWORD_FILE, when given, is
# handed to the package step instead of DIR/cert/password (to try a wrong password). The output and the
# exit status are the package step's; the release build's own package is left alone.
set -euo pipefail

release="$1"
dir="$2"
cert="$dir/cert"

rm -rf "$cert" "$dir/unpacked"
mkdir -p "$cert"
printf 'throwaway\n' >"$cert/password"
openssl req -x509 -newkey rsa:2048 -noenc -days 7 -subj "/CN=Tavaren test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$cert/key.pem" -out "$cert/certificate.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/certificate.pem" -out "$cert/certificate.p12" \
    -passout "file:$cert/password"

env -u TAVAREN_SIGN_TIMESTAMP_URL TAVAREN_SIGN_PKCS12="$cert/certificate.p12" \
    TAVAREN_SIGN_PASSWORD_FILE="${3:-$cert/password}" cpack --config "$release/CPackConfig.cmake" -B "$dir"
python3 -m zipfile -e "$dir"/Tavaren-*-win32.zip "$dir/unpacked"
