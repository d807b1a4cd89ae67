#!/usr/bin/env bash
# One case of tessaline.exe under Wine: it must exit as the Linux command does and write the same files,
# byte for byte, for the same scene and options given in Windows path forms.
#
#   run_command.sh CASE   (environment: WINE_TEST_DIR, SOURCE_DIR, LINUX_TOOL, REAL_SCENES, COMMAND_EXE)
set -euo pipefail
source "$(dirname "$0")/wine_env.sh"

name=$1
dir="$WINE_TEST_DIR/commands/$name"
rm -rf "$dir"
mkdir -p "$dir/wine" "$dir/linux"
cd "$dir"
examples="$SOURCE_DIR/examples"

case "$name" in
room)
  # Drive letter and backslashes; the collision file's name derived from the output's.
  scene_unix=$examples/room.dxs
  scene_win=$(windows_path "$scene_unix")
  out_unix=linux/room.dbo
  out_win="$(windows_path "$dir/wine")\\room.dbo"
  install_unix=$examples
  install_win=$(windows_path "$examples")
  options=(--scene-name DemoRoom --collision one --collision-file "")
  # The preview is drawn the same, byte for byte.
  preview_win=(--preview 'wine\room.png')
  preview_unix=(--preview linux/room.png)
  status=0
  ;;
real-scene)
  scene_unix=$REAL_SCENES/patrol-boat.dxs
  scene_win=$(windows_path "$scene_unix")
  out_unix=linux/patrol-boat.dbo
  out_win='wine\patrol-boat.dbo'
  install_unix=$examples
  install_win=$(windows_path "$examples")
  options=(--collision per-object --scale 0.1 0.1 0.1)
  status=3  # its texture is not in the install directory
  ;;
non-ascii)
  # Relative paths with forward slashes, and names outside ASCII.
  mkdir -p "$dir/scènes"
  cp "$examples/room.dxs" "$dir/scènes/niveau-été.dxs"
  scene_unix=scènes/niveau-été.dxs
  scene_win=$scene_unix
  out_unix=linux/sortie-ü.dbo
  out_win=wine/sortie-ü.dbo
  install_unix=$examples
  install_win=$(windows_path "$examples")
  options=(--collision per-object --collision-file "")
  status=0
  ;;
*)
  echo "unknown case $name"
  exit 2
  ;;
esac

failed=0
wstatus=0
wine "$COMMAND_EXE" export "$scene_win" -o "$out_win" --install-dir "$install_win" "${options[@]}" \
  ${preview_win[@]+"${preview_win[@]}"} >wine.stdout 2>wine.stderr || wstatus=$?
wineserver -k || true
lstatus=0
"$LINUX_TOOL" export "$scene_unix" -o "$out_unix" --install-dir "$install_unix" "${options[@]}" \
  ${preview_unix[@]+"${preview_unix[@]}"} >linux.stdout 2>linux.stderr || lstatus=$?
if [ "$wstatus" -ne "$status" ] || [ "$lstatus" -ne "$status" ]; then
  echo "FAIL: tessaline.exe exited with $wstatus, the Linux command with $lstatus, expected $status"
  cat wine.stdout wine.stderr linux.stdout linux.stderr
  failed=1
fi
echo "files written by tessaline.exe:"
(cd wine && find . -type f | sort | sed 's/^/  /')
if [ -z "$(ls -A wine)" ]; then
  echo "FAIL: tessaline.exe wrote nothing"
  failed=1
fi
if ! diff -r wine linux; then
  echo "FAIL: tessaline.exe's files differ from the Linux command's"
  failed=1
fi
[ $failed -eq 0 ] && echo "case $name passed"
exit $failed
