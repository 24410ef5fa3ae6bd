#!/usr/bin/env bash
# Builds the release the way a publisher does for their own portal, and checks that the portal made it into
# the exe: a copy of the sources gets docs/CMakeUserPresets.json.example as its CMakeUserPresets.json, and
# its workflow preset configures, builds and packages there. The exe it leaves must carry the portal's start
# page and statistics page under the example's TAVAREN_PORTAL_ORIGIN and not the release's placeholder, and
# its zip must hold that exe (packaging/check_package.py).
# The source tree itself gets no user preset.
#   check_user_preset.sh SOURCE_DIR WORK_DIR
# Exit status 0 when all holds, 1 otherwise (each problem is printed).
set -euo pipefail

source_dir="$1"
work="$2"
copy="$work/tavaren-sources"
example="$source_dir/docs/CMakeUserPresets.json.example"

# The example's one workflow, and the origin and build folder of the configure preset it starts with.
read -r workflow origin binary_dir < <(python3 - "$example" <<'EOF'
import json, sys
presets = json.load(open(sys.argv[1]))
workflow = presets["workflowPresets"][0]
configure = workflow["steps"][0]["name"]
preset = next(p for p in presets["configurePresets"] if p["name"] == configure)
print(workflow["name"], preset["cacheVariables"]["TAVAREN_PORTAL_ORIGIN"],
      preset["binaryDir"].replace("${sourceDir}/", "").replace("${presetName}", configure))
EOF
)
placeholder="$(sed -n 's/^set(TAVAREN_PORTAL_ORIGIN "\([^"]*\)".*/\1/p' "$source_dir/CMakeLists.txt")"

rm -rf "$work"
mkdir -p "$copy"
# The files a build reads, as they are now: tracked ones and new ones that git does not ignore (a user's own
# CMakeUserPresets.json is ignored), and the history, for the date of the last commit.
git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
    tar -C "$source_dir" --null -T - -cf - | tar -C "$copy" -xf -
echo "gitdir: $(git -C "$source_dir" rev-parse --absolute-git-dir)" >"$copy/.git"
cp "$example" "$copy/CMakeUserPresets.json"

if ! (cd "$copy" && cmake --workflow --preset "$workflow") >"$work/workflow.log" 2>&1; then
    tail -n 20 "$work/workflow.log"
    echo "user preset: cmake --workflow --preset $workflow failed in $copy (see $work/workflow.log)"
    exit 1
fi

status=0
built="$copy/$binary_dir"
exe="$built/src/app/Tavaren.exe"
for url in "$origin/?mini=2&gameid=218" "$origin/stats/tavaren.html"; do
    if ! grep -q -a -F "$url" "$exe"; then
        echo "user preset: $exe does not hold $url"
        status=1
    fi
done
if [ -n "$placeholder" ] && grep -q -a -F "$placeholder" "$exe"; then
    echo "user preset: $exe still holds the placeholder portal $placeholder"
    status=1
fi
zip="$(cd "$built" && ls Tavaren-*-win32.zip)"
if ! python3 "$source_dir/packaging/check_package.py" "$built/$zip" "$exe" Tavaren-Launcher.txt >/dev/null ||
    ! (cd "$built" && sha256sum --check --quiet "$zip.sha256"); then
    echo "user preset: $built/$zip does not hold $exe, or its checksum does not match"
    status=1
fi
if [ "$status" = 0 ]; then
    echo "user preset: cmake --workflow --preset $workflow (docs/CMakeUserPresets.json.example) built" \
        "$binary_dir/$zip with the portal $origin in Tavaren.exe"
fi
exit "$status"
