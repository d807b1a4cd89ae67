#!/usr/bin/env bash
# One case of tessaline.exe under Wine: it must exit as the Linux command does and write the same files,
# byte for byte, for the same scene and options given in Windows path forms.
#
#   run_command.sh CASE   (environment: WINE_TEST_DIR, SOURCE_DIR, LINUX_TOOL, REAL_SCENES, COMMAND_EXE)
set -euo pipefail
source "$(dirname "$0")/wine_env.sh"
start_case "commands/$1"
cd "$dir"
examples=$SOURCE_DIR/examples
status=0
case "$1" in
room)
  # Drive letter and backslashes; the collision file's name derived from the output's; the preview drawn
  # the same, byte for byte.
  wine_args=("$(windows_path "$examples/room.dxs")" -o "$(windows_path "$dir/wine")\\room.dbo" --preview 'wine\room.png')
  linux_args=("$examples/room.dxs" -o linux/room.dbo --preview linux/room.png)
  options=(--scene-name DemoRoom --collision one --collision-file "")
  ;;
real-scene)
  wine_args=("$(windows_path "$REAL_SCENES/patrol-boat.dxs")" -o 'wine\patrol-boat.dbo')
  linux_args=("$REAL_SCENES/patrol-boat.dxs" -o linux/patrol-boat.dbo)
  options=(--collision per-object --scale 0.1 0.1 0.1)
  status=3  # its texture is not in the install directory
  ;;
non-ascii)
  # Relative paths with forward slashes, and names outside ASCII.
  mkdir -p scènes && cp "$examples/room.dxs" scènes/niveau-été.dxs
  wine_args=(scènes/niveau-été.dxs -o wine/sortie-ü.dbo)
  linux_args=(scènes/niveau-été.dxs -o linux/sortie-ü.dbo)
  options=(--collision per-object --collision-file "")
  ;;
*) echo "unknown case $1"; exit 2 ;;
esac

wstatus=0
wine "$COMMAND_EXE" export "${wine_args[@]}" --install-dir "$(windows_path "$examples")" "${options[@]}" \
  >wine.stdout 2>wine.stderr || wstatus=$?
wineserver -k || true
if [ "$wstatus" -ne "$status" ]; then
  fail "tessaline.exe exited with $wstatus, expected $status"
  cat wine.stdout wine.stderr
fi
same_as_linux "$status" "${linux_args[@]}" --install-dir "$examples" "${options[@]}"
finish
