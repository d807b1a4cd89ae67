#!/usr/bin/env bash
# run_case.sh CASE (under xvfb-run): the substitute host loads Tessaline.dll and clicks through the real
# dialogs with the case's choices; its transcript (requests, dialogs, message boxes) must match the case's,
# and every file the DLL wrote must be byte-identical to what `tessaline export` writes with those choices.
set -euo pipefail
source "$(dirname "$0")/wine_env.sh"
name=$1
start_case "cases/$name"

# Per case: the choices (for the host's dialog and the Linux command alike), the host's test controls, and
# the transcript's lines for the options dialog, the install request, the scene request and what follows.
scene=$SOURCE_DIR/examples/room.dxs
install=$SOURCE_DIR/examples/ linux_install=$SOURCE_DIR/examples/
target="$(windows_path "$dir/wine")\\level.dbo"
choices=() controls=()
linux_status=0  # expected exit status of the Linux command; "skip" when there is nothing to compare
options=("options ok")
asks=("request GetMem install" "request GetData install")
request=scene-all
result=("save $target" 'box Tessaline|Scene correctly exported.\n|information')
unset left  # when set: what the output folder must hold afterwards, as `grep -r '' .` lists it
overwrite='box Select a DBO file to export DeleD current scene|File already exists.\nDo you want to replace it?|warning'
[ "$name" = locked-output ] || [ "$name" = collision-is-main ] && printf 'previous export\n' >"$dir/wine/level.dbo"

case "$name" in
defaults)
  controls=(--check-dialog --check-progress)
  options=("options checked" "options ok")
  result=("progress Please Wait....Getting Data from DeleD. bar 0 of 0..100" "${result[@]}")
  ;;
selected)
  choices=(--selected --scene-name "Selected Room" --scale 2.5 " 0.5e1xyz" -3 --collision one --no-textures)
  request=scene-selection
  ;;
collision-per-object) choices=(--collision per-object --collision-file walls.dbo --texture-folder Art) ;;
real-scene)
  # The scene's texture is not in the install directory: the run ends with a warning listing it. The
  # collision file's name is left empty, so it is derived from the DBO file's.
  scene=$REAL_SCENES/patrol-boat.dxs
  choices=(--collision per-object --collision-file "" --scale 0.1 0.1 0.1)
  result=("save $target" 'box Tessaline|Scene correctly exported.\nThis texture could not be placed beside it:\nMedia\artemis_diffuse.png\n|warning')
  linux_status=3
  ;;
cancel) controls=(--cancel) linux_status=skip left="" ;;
callback-error)
  controls=(--error-code 4 --error-at "GetData scene-all") linux_status=skip left=""
  result=('box Error in Callback|Error Code 4: Invalid GetData Command.|error')
  ;;
install-error)
  # No install directory: images are looked for in \Textures\ of the current drive, which has none.
  controls=(--error-code 64 --error-at "GetMem install") linux_install="" linux_status=3
  asks=("request GetMem install" 'box Error in Callback|Error Code 64: Unknown Error Code.|error')
  result=("save $target" 'box Tessaline|Scene correctly exported.\nThese textures could not be placed beside it:\nMedia\planks.png\nMedia\bricks.png\nMedia\crate.png\n|warning')
  ;;
locked-output)
  # Another program holds the previous export open: the new one cannot replace it and must leave it whole.
  controls=(--lock-output --no-textures) linux_status=skip left="./level.dbo:previous export"
  result=("save $target" "$overwrite" "box Tessaline|The export did not finish: this file could not be written:\n$target\\n|error")
  ;;
collision-is-main)
  # The collision file would be the earlier export's DBO file (the file ID decides): nothing is written.
  choices=(--collision one --collision-file level.dbo) linux_status=skip left="./level.dbo:previous export"
  result=("save $target" "$overwrite" "box Tessaline|The collision file would replace the DBO file:\n$target\nNothing was exported.\n|error")
  ;;
*) echo "unknown case $name"; exit 2 ;;
esac
expected=("exports ok" "${options[@]}" "${asks[@]}" "request GetMem $request" "request GetData $request" "${result[@]}" done)
[ "$name" = cancel ] && expected=("exports ok" "options cancel" done)

# The host, from its own folder so that LoadLibraryA("Tessaline.dll") finds the DLL beside it. It exits
# non-zero only after a FAIL line or without its closing "done", which the transcript shows.
(cd "$WINE_TEST_DIR" && wine tessaline_host.exe --scene "$(windows_path "$scene")" \
  --install-dir "$(windows_path "$install")" --output "$target" "${choices[@]}" "${controls[@]}") \
  >"$dir/transcript.raw" 2>"$dir/host.stderr" || true
wineserver -k || true  # the host has ended; do not wait for the server to linger
printf '%s\n' "${expected[@]}" >"$dir/expected.txt"
tr -d '\r' <"$dir/transcript.raw" | diff -u "$dir/expected.txt" - || { fail "the transcript differs" && cat "$dir/host.stderr"; }
if [ -n "${left+set}" ] && [ "$(cd "$dir/wine" && grep -r '' . | sort)" != "$left" ]; then
  fail "the output folder holds other than '$left':" && find "$dir/wine"
fi
[ "$linux_status" = skip ] ||
  same_as_linux "$linux_status" "$scene" -o "$dir/linux/level.dbo" --install-dir "$linux_install" "${choices[@]}"
exit $failed
