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
dir="$WINE_TEST_DIR/cases/$name"
rm -rf "$dir"
mkdir -p "$dir/wine" "$dir/linux"

scene="$SOURCE_DIR/examples/room.dxs"
install="$SOURCE_DIR/examples/"
linux_install=$install
output=level.dbo
choices=()      # the same options for the host (through the dialog) and the Linux command
host_only=()    # test controls of the host
linux_status=0  # expected exit status of the Linux command; "skip" when there is nothing to compare
scene_request=scene-all
options_lines=("options ok")
progress_lines=()
success='box Tessaline|Scene correctly exported.\n|information'
tail_lines=()

case "$name" in
defaults)
  host_only=(--check-enabling --options-shot "$dir/options-dialog.png" --progress-shot "$dir/progress-window.png")
  options_lines=("options start ok" "options enabling ok" "options ok")
  progress_lines=("progress Please Wait....Getting Data from DeleD. bar 0 of 0..100")
  ;;
selected)
  choices=(--selected --scene-name "Selected Room" --scale 2.5 " 0.5e1xyz" -3)
  scene_request=scene-selection
  ;;
collision-one)
  choices=(--collision one)
  ;;
collision-one-derived-name)
  choices=(--collision one --collision-file "")
  ;;
collision-per-object)
  choices=(--collision per-object --collision-file walls.dbo --texture-folder Art)
  ;;
collision-per-object-derived-name)
  choices=(--collision per-object --collision-file "")
  output=my.level.dbo
  ;;
no-textures)
  choices=(--no-textures --collision one)
  ;;
real-scene)
  scene="$REAL_SCENES/patrol-boat.dxs"
  choices=(--collision per-object --scale 0.1 0.1 0.1)
  # The scene's texture is not in the install directory: the run ends with a warning listing it.
  success='box Tessaline|Scene correctly exported.\nThis texture could not be placed beside it:\nMedia\artemis_diffuse.png\n|warning'
  linux_status=3
  ;;
cancel)
  host_only=(--cancel)
  ;;
callback-error)
  host_only=(--error-code 4 --error-at scene-getdata)
  linux_status=skip
  ;;
install-error)
  # The install directory stays empty: image files are looked for in \Textures\ of the current drive,
  # which has none; the colour textures are still generated.
  host_only=(--error-code 64 --error-at install)
  linux_install=""
  success='box Tessaline|Scene correctly exported.\nThese textures could not be placed beside it:\nMedia\planks.png\nMedia\bricks.png\nMedia\crate.png\n|warning'
  linux_status=3
  ;;
unwritable-folder)
  # Nothing can create files in /proc, not even root.
  linux_status=skip
  ;;
locked-output)
  # The previous export is open in another program: the new one cannot replace it and must leave it whole.
  printf 'previous export\n' >"$dir/wine/level.dbo"
  host_only=(--lock-output --no-textures)
  linux_status=skip
  ;;
collision-outside)
  # A collision file name that leaves the output folder is not written, and the error box names it.
  choices=(--collision one --collision-file '..\esc.dbo')
  linux_status=skip
  ;;
collision-is-main)
  # The collision file would be the DBO file (an earlier export, so the file ID decides): nothing is written.
  printf 'previous export\n' >"$dir/wine/level.dbo"
  choices=(--collision one --collision-file level.dbo)
  linux_status=skip
  ;;
*)
  echo "unknown case $name"
  exit 2
  ;;
esac

target="$(windows_path "$dir/wine")\\$output"
if [ "$name" = unwritable-folder ]; then target='Z:\proc\level.dbo'; fi

# The transcript the host must write.
expected=("exports ok" "${options_lines[@]}")
case "$name" in
cancel) ;;
callback-error)
  expected+=("request GetMem install" "request GetData install" "request GetMem $scene_request"
             "request GetData $scene_request" 'box Error in Callback|Error Code 4: Invalid GetData Command.|error')
  ;;
collision-outside)
  expected+=("request GetMem install" "request GetData install" "request GetMem $scene_request"
             "request GetData $scene_request" "save $target"
             "box Tessaline|The export did not finish: this file could not be written:\n$(windows_path "$dir/wine")\\..\\esc.dbo\n|error")
  ;;
collision-is-main)
  expected+=("request GetMem install" "request GetData install" "request GetMem $scene_request"
             "request GetData $scene_request" "save $target"
             "box Select a DBO file to export DeleD current scene|File already exists.\nDo you want to replace it?|warning"
             "box Tessaline|The collision file would replace the DBO file:\n$target\nNothing was exported.\n|error")
  ;;
locked-output)
  # The save dialog's overwrite prompt is Wine's own (answered yes), then the DLL's error box.
  expected+=("request GetMem install" "request GetData install" "request GetMem $scene_request"
             "request GetData $scene_request" "save $target"
             "box Select a DBO file to export DeleD current scene|File already exists.\nDo you want to replace it?|warning"
             "box Tessaline|The export did not finish: this file could not be written:\n$target\n|error")
  ;;
unwritable-folder)
  expected+=("request GetMem install" "request GetData install" "request GetMem $scene_request"
             "request GetData $scene_request" "save $target"
             'box Tessaline|The export did not finish: this file could not be written:\nZ:\proc\level.dbo\n|error')
  ;;
install-error)
  expected+=("request GetMem install" 'box Error in Callback|Error Code 64: Unknown Error Code.|error'
             "request GetMem $scene_request" "request GetData $scene_request" "save $target" "$success")
  ;;
*)
  expected+=("request GetMem install" "request GetData install" "request GetMem $scene_request"
             "request GetData $scene_request" "${progress_lines[@]}" "save $target" "$success")
  ;;
esac
expected+=("done")
[ "$name" = cancel ] && expected=("exports ok" "options cancel" "done")

# The host, from its own folder so that LoadLibraryA("Tessaline.dll") finds the DLL beside it.
start=$(date +%s%N)
status=0
(cd "$WINE_TEST_DIR" && wine tessaline_host.exe --scene "$(windows_path "$scene")" \
  --install-dir "$(windows_path "$install")" --output "$target" "${choices[@]}" "${host_only[@]}") \
  >"$dir/transcript.raw" 2>"$dir/host.stderr" || status=$?
wineserver -k || true  # the host has ended; do not wait for the server to linger
tr -d '\r' <"$dir/transcript.raw" >"$dir/transcript.txt"
elapsed=$((($(date +%s%N) - start) / 1000000))
printf 'wine run: %d.%03d s\n' $((elapsed / 1000)) $((elapsed % 1000))

failed=0
printf '%s\n' "${expected[@]}" >"$dir/expected.txt"
if ! diff -u "$dir/expected.txt" "$dir/transcript.txt"; then
  echo "FAIL: the transcript differs from the expected one (above)"
  failed=1
fi
if [ $status -ne 0 ]; then
  echo "FAIL: the host exited with status $status"
  cat "$dir/host.stderr"
  failed=1
fi

if [ "$name" = cancel ] || [ "$name" = callback-error ]; then
  if [ -n "$(ls -A "$dir/wine")" ]; then
    echo "FAIL: files were written:"
    find "$dir/wine"
    failed=1
  fi
fi

if [ "$name" = collision-outside ] && [ -e "$dir/esc.dbo" ]; then
  echo "FAIL: the collision file was written outside the output folder"
  failed=1
fi
if [ "$name" = locked-output ] || [ "$name" = collision-is-main ]; then
  if [ "$(cat "$dir/wine/level.dbo")" != "previous export" ]; then
    echo "FAIL: the previous output was changed"
    failed=1
  fi
  if [ "$(cd "$dir/wine" && find . -type f)" != "./level.dbo" ]; then
    echo "FAIL: files were left beside the previous output:"
    (cd "$dir/wine" && find . -type f)
    failed=1
  fi
fi

if [ "$linux_status" != skip ] && [ "$name" != cancel ]; then
  if [ ! -x "$LINUX_TOOL" ]; then
    echo "FAIL: the Linux tool $LINUX_TOOL is missing; build the linux preset first"
    exit 1
  fi
  lstatus=0
  "$LINUX_TOOL" export "$scene" -o "$dir/linux/$output" --install-dir "$linux_install" "${choices[@]}" \
    >"$dir/linux.stdout" 2>"$dir/linux.stderr" || lstatus=$?
  if [ "$lstatus" -ne "$linux_status" ]; then
    echo "FAIL: tessaline export exited with $lstatus, expected $linux_status"
    cat "$dir/linux.stdout" "$dir/linux.stderr"
    failed=1
  fi
  echo "files written by the DLL:"
  (cd "$dir/wine" && find . -type f | sort | sed 's/^/  /')
  if [ -z "$(ls -A "$dir/wine")" ]; then
    echo "FAIL: the DLL wrote nothing"
    failed=1
  fi
  if ! diff -r "$dir/wine" "$dir/linux"; then
    echo "FAIL: the DLL's files differ from tessaline export's"
    failed=1
  fi
fi

[ $failed -eq 0 ] && echo "case $name passed"
exit $failed
