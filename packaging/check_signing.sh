#!/usr/bin/env bash
# The package step's signing, with a throwaway certificate (tests/support/sign-release.sh):
#   check_signing.sh RELEASE_BUILD WORK_DIR
# - osslsigncode accepts the signature of Tavaren.exe in the signed zip against that certificate, and
#   removing the signature gives back the release build's unsigned exe byte for byte;
# - with a wrong password the package step fails with one line that says so, and leaves no package
#   behind, not even the one signed just before.
# Exit status 0 when all holds, 1 otherwise.
set -euo pipefail

release="$1"
work="$2"
sign_release="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/support/sign-release.sh"

fail() {
    echo "signing: $*"
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
if ! "$sign_release" "$release" "$work" >"$work/signed.log" 2>&1; then
    cat "$work/signed.log"
    fail "the package step failed to sign with a throwaway certificate"
fi
signed="$work/unpacked/Tavaren.exe"
if ! osslsigncode verify -CAfile "$work/cert/certificate.pem" -in "$signed" >"$work/verify.log" 2>&1; then
    cat "$work/verify.log"
    fail "osslsigncode does not accept the signature of $signed"
fi
osslsigncode remove-signature -in "$signed" -out "$work/stripped.exe" >/dev/null
cmp "$work/stripped.exe" "$release/src/app/Tavaren.exe" ||
    fail "$signed without its signature is not $release/src/app/Tavaren.exe"

printf 'not the password\n' >"$work/wrong-password"
if "$sign_release" "$release" "$work" "$work/wrong-password" >"$work/wrong.log" 2>&1; then
    fail "a wrong password did not stop the package step"
fi
if [ "$(grep -c 'cannot be signed' "$work/wrong.log")" != 1 ] || grep -q ':error:' "$work/wrong.log"; then
    cat "$work/wrong.log"
    fail "a wrong password is not told in one line"
fi
left="$(find "$work" -maxdepth 1 -name 'Tavaren-*.zip*')"
[ -z "$left" ] || fail "a wrong password left $left"
echo "signing: osslsigncode accepts the signed exe, which is the unsigned one once its signature is removed;"
echo "signing: a wrong password stops the package step in one line: $(grep -o 'release: .*' "$work/wrong.log")"
