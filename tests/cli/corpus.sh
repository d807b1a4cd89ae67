#!/usr/bin/env bash
# Exports every real scene file with several option sets and checks every DBO file written with
# `tessaline inspect`. Stops at the first failure.
# Usage: corpus.sh TESSALINE SCENE_FOLDER [COMMITTED_FOLDER]
# With COMMITTED_FOLDER, SCENE_FOLDER is the optional extra folder: files also in COMMITTED_FOLDER are left
# out, and a missing or empty folder is a skip (exit 77) rather than a failure.
set -uo pipefail
tool=$1 scenes=$2 committed=${3:-}
files=()
for scene in "$scenes"/*.dxs; do
  [ -f "$scene" ] && { [ -z "$committed" ] || [ ! -e "$committed/$(basename "$scene")" ]; } && files+=("$scene")
done
if [ ${#files[@]} -eq 0 ]; then
  [ -n "$committed" ] && { echo "SKIP: no extra scene files (folder '${scenes}')"; exit 77; }
  echo "FAIL: no scene files in $scenes"
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Each set: the exit statuses it may end with, then its flags. Scenes name image textures that are not
# here, so exports that place textures end with 3 (written, some textures not placed) unless every layer
# of the used materials is a colour.
sets=(
  "0|--no-textures"
  "0 3|--collision one --collision-file '' --scale 2 1 0.5"
  "0|--collision per-object --selected --scene-name '' --no-textures"
  "0 3|--texture-folder '' --collision one"
)
runs=0
for scene in "${files[@]}"; do
  name=$(basename "$scene" .dxs)
  for i in "${!sets[@]}"; do
    allowed=${sets[i]%%|*} flags=${sets[i]#*|} dir="$out/$name-$i"
    mkdir -p "$dir"
    eval "\"$tool\" export \"$scene\" -o \"$dir/$name.dbo\" $flags" >"$dir/log" 2>&1
    status=$?
    [[ " $allowed " == *" $status "* ]] || { echo "FAIL: $name with [$flags] exited $status" && cat "$dir/log" && exit 1; }
    for dbo in "$dir"/*.dbo; do
      "$tool" inspect "$dbo" >"$dir/inspect.log" 2>&1 ||
        { echo "FAIL: $(basename "$dbo") of $name with [$flags] does not pass inspect" && tail -n 5 "$dir/inspect.log" && exit 1; }
      runs=$((runs + 1))
    done
  done
done
echo "corpus: $runs DBO files from ${#files[@]} scenes exported and inspected"
