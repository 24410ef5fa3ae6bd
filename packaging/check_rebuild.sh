#!/usr/bin/env bash
# Builds the release again from the same sources, in another folder, later, under another time zone,
# locale and umask, and checks that Tavaren.exe, the zip and its checksum come out byte for byte as in the
# release build, that the checksum holds, and that no source or build folder shows in the exe:
#   check_rebuild.sh SOURCE_DIR RELEASE_BUILD ZIP_NAME WORK_DIR
# Exit status 0 when all holds, 1 otherwise (each problem is printed).
set -euo pipefail

source_dir="$1"
release="$2"
zip="$3"
work="$4"
copy="$work/elsewhere/tavaren-sources"
rebuilt="$copy/build/release-x86"

rm -rf "$work"
mkdir -p "$copy"
# The files a build reads, as they are now: tracked ones and new ones that git does not ignore.
git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    tar -C "$source_dir" --null -T - -cf - | tar -C "$copy" -xf -
# The same history, for the date of the last commit.
echo "gitdir: $(git -C "$source_dir" rev-parse --absolute-git-dir)" >"$copy/.git"

if ! (cd "$copy" && umask 077 && TZ=XST-13:45 LC_ALL=C.UTF-8 cmake --workflow --preset release-x86) \
    >"$work/workflow.log" 2>&1; then
    tail -n 20 "$work/workflow.log"
    echo "rebuild: the release workflow failed in $copy (see $work/workflow.log)"
    exit 1
fi

status=0
for file in src/app/Tavaren.exe "$zip" "$zip.sha256"; do
    if ! cmp "$release/$file" "$rebuilt/$file"; then
        echo "rebuild: $file differs between $release and $rebuilt"
        status=1
    fi
done
if ! (cd "$release" && sha256sum --check --quiet "$zip.sha256"); then
    echo "rebuild: $release/$zip.sha256 does not hold the zip's checksum"
    status=1
fi
for folder in "$source_dir" "$copy"; do
    if grep -q -a -F "$folder" "$rebuilt/src/app/Tavaren.exe"; then
        echo "rebuild: Tavaren.exe names the folder $folder"
        status=1
    fi
done
if [ "$status" = 0 ]; then
    echo "rebuild: Tavaren.exe, $zip and its checksum built again in $copy are byte for byte those of $release"
fi
exit "$status"
