#!/usr/bin/env bash
# Exports every real scene file with several option sets and checks every DBO file written with
# `tessaline inspect`; stops at the first failure.   corpus.sh TESSALINE SCENE_FOLDER [COMMITTED_FOLDER]
# With COMMITTED_FOLDER, SCENE_FOLDER is the optional extra folder: files also in COMMITTED_FOLDER are left
# out, and a missing or empty folder is a skip (exit 77) rather than a failure.
set -uo pipefail
tool=$1 scenes=$2 committed=${3:-} files=()
for scene in "$scenes"/*.dxs; do
  [ -f "$scene" ] && { [ -z "$committed" ] || [ ! -e "$committed/$(basename "$scene")" ]; } && files+=("$scene")
done
[ ${#files[@]} -gt 0 ] || { echo "no scene files in '$scenes'" && [ -n "$committed" ] && exit 77; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Each set: the exit statuses it may end with, then its flags. The scenes' image textures are not here, so
# an export that places textures ends with 3 (written, some textures not placed) unless all are colours.
sets=(
  "0|--no-textures"
  "0 3|--collision one --collision-file '' --scale 2 1 0.5 --texture-folder ''"
  "0|--collision per-object --selected --scene-name '' --no-textures"
)
for scene in "${files[@]}"; do
  name=$(basename "$scene" .dxs)
  for i in "${!sets[@]}"; do
    allowed=${sets[i]%%|*} flags=${sets[i]#*|} dir="$out/$name-$i"
    mkdir -p "$dir"
    eval "\"$tool\" export \"$scene\" -o \"$dir/$name.dbo\" $flags" >"$dir/log" 2>&1
    status=$?
    [[ " $allowed " == *" $status "* ]] || { echo "FAIL: $name with [$flags] exited $status" && cat "$dir/log" && exit 1; }
    for dbo in "$dir"/*.dbo; do
      "$tool" inspect "$dbo" >"$dir/log" 2>&1 || { echo "FAIL: $dbo does not pass inspect" && cat "$dir/log" && exit 1; }
    done
  done
done
echo "corpus: ${#files[@]} scenes exported and inspected"
