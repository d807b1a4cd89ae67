#!/usr/bin/env bash
# One case of the plug-in under Wine: the substitute host loads Tessaline.dll, a second thread clicks
# through the real dialogs with the case's choices, and the host's transcript (requests, dialogs, message
# boxes) must match the case's expectation. Every file the DLL wrote must then be byte-identical to what
# the Linux `tessaline export` writes with the same choices.
#
#   run_case.sh CASE      (under xvfb-run; environment: WINE_TEST_DIR, SOURCE_DIR, LINUX_TOOL, REAL_SCENES)
set -euo pipefail
source "$(dirname "$0")/wine_env.sh"
name=$1
start_case "cases/$name"

# What each case changes: the same choices for the host (through the dialog) and the Linux command, the
# host's test controls, and the transcript: the options dialog's lines, the install request's, the scene
# request's kind and what follows it.
scene=$SOURCE_DIR/examples/room.dxs
install=$SOURCE_DIR/examples/
linux_install=$install
output=level.dbo
[ "$name" = collision-per-object-derived-name ] && output=my.level.dbo
target="$(windows_path "$dir/wine")\\$output"
[ "$name" = unwritable-folder ] && target='Z:\proc\level.dbo'  # nothing can create files in /proc, not even root
choices=() controls=()
linux_status=0  # expected exit status of the Linux command; "skip" when there is nothing to compare
options=("options ok")
asks=("request GetMem install" "request GetData install")
request=scene-all
result=("save $target" 'box Tessaline|Scene correctly exported.\n|information')
unset left  # when set: what the output folder must hold afterwards, as `grep -r '' .` lists it
overwrite='box Select a DBO file to export DeleD current scene|File already exists.\nDo you want to replace it?|warning'
unwritten='box Tessaline|The export did not finish: this file could not be written:\n'

case "$name" in
defaults)
  controls=(--check-dialog --check-progress)
  options=("options start ok" "options enabling ok" "options ok")
  result=("progress Please Wait....Getting Data from DeleD. bar 0 of 0..100" "${result[@]}")
  ;;
selected)
  choices=(--selected --scene-name "Selected Room" --scale 2.5 " 0.5e1xyz" -3)
  request=scene-selection
  ;;
collision-one) choices=(--collision one) ;;
collision-one-derived-name) choices=(--collision one --collision-file "") ;;
collision-per-object) choices=(--collision per-object --collision-file walls.dbo --texture-folder Art) ;;
collision-per-object-derived-name) choices=(--collision per-object --collision-file "") ;;
no-textures) choices=(--no-textures --collision one) ;;
real-scene)
  scene=$REAL_SCENES/patrol-boat.dxs
  choices=(--collision per-object --scale 0.1 0.1 0.1)
  # The scene's texture is not in the install directory: the run ends with a warning listing it.
  result=("save $target" 'box Tessaline|Scene correctly exported.\nThis texture could not be placed beside it:\nMedia\artemis_diffuse.png\n|warning')
  linux_status=3
  ;;
cancel) controls=(--cancel) linux_status=skip left="" ;;
callback-error)
  controls=(--error-code 4 --error-at scene-getdata) linux_status=skip left=""
  result=('box Error in Callback|Error Code 4: Invalid GetData Command.|error')
  ;;
install-error)
  # The install directory stays empty: image files are looked for in \Textures\ of the current drive,
  # which has none; the colour textures are still generated.
  controls=(--error-code 64 --error-at install) linux_install=""
  asks=("request GetMem install" 'box Error in Callback|Error Code 64: Unknown Error Code.|error')
  result=("save $target" 'box Tessaline|Scene correctly exported.\nThese textures could not be placed beside it:\nMedia\planks.png\nMedia\bricks.png\nMedia\crate.png\n|warning')
  linux_status=3
  ;;
unwritable-folder) linux_status=skip result=("save $target" "$unwritten$target\\n|error") ;;
locked-output)
  # The previous export is open in another program: the new one cannot replace it and must leave it whole.
  # The save dialog's overwrite prompt is Wine's own (answered yes), then the DLL's error box.
  printf 'previous export\n' >"$dir/wine/level.dbo"
  controls=(--lock-output --no-textures) linux_status=skip left="./level.dbo:previous export"
  result=("save $target" "$overwrite" "$unwritten$target\\n|error")
  ;;
collision-outside)
  # A collision file name that leaves the output folder is not written, and the error box names it.
  choices=(--collision one --collision-file '..\esc.dbo') linux_status=skip
  result=("save $target" "$unwritten$(windows_path "$dir/wine")\\..\\esc.dbo\\n|error")
  ;;
collision-is-main)
  # The collision file would be the DBO file (an earlier export, so the file ID decides): nothing is written.
  printf 'previous export\n' >"$dir/wine/level.dbo"
  choices=(--collision one --collision-file level.dbo) linux_status=skip left="./level.dbo:previous export"
  result=("save $target" "$overwrite" "box Tessaline|The collision file would replace the DBO file:\n$target\nNothing was exported.\n|error")
  ;;
*) echo "unknown case $name"; exit 2 ;;
esac
expected=("exports ok" "${options[@]}" "${asks[@]}" "request GetMem $request" "request GetData $request" "${result[@]}" done)
[ "$name" = cancel ] && expected=("exports ok" "options cancel" done)

# The host, from its own folder so that LoadLibraryA("Tessaline.dll") finds the DLL beside it.
start=$(date +%s%N)
status=0
(cd "$WINE_TEST_DIR" && wine tessaline_host.exe --scene "$(windows_path "$scene")" \
  --install-dir "$(windows_path "$install")" --output "$target" "${choices[@]}" "${controls[@]}") \
  >"$dir/transcript.raw" 2>"$dir/host.stderr" || status=$?
wineserver -k || true  # the host has ended; do not wait for the server to linger
elapsed=$((($(date +%s%N) - start) / 1000000))
printf 'wine run: %d.%03d s\n' $((elapsed / 1000)) $((elapsed % 1000))

printf '%s\n' "${expected[@]}" >"$dir/expected.txt"
tr -d '\r' <"$dir/transcript.raw" >"$dir/transcript.txt"
diff -u "$dir/expected.txt" "$dir/transcript.txt" || fail "the transcript differs from the expected one (above)"
if [ $status -ne 0 ]; then
  fail "the host exited with status $status"
  cat "$dir/host.stderr"
fi
if [ -n "${left+set}" ] && [ "$(cd "$dir/wine" && grep -r '' . | sort)" != "$left" ]; then
  fail "the output folder holds other than '$left':"
  find "$dir/wine"
fi
[ ! -e "$dir/esc.dbo" ] || fail "the collision file was written outside the output folder"
[ "$linux_status" = skip ] ||
  same_as_linux "$linux_status" "$scene" -o "$dir/linux/$output" --install-dir "$linux_install" "${choices[@]}"
finish
