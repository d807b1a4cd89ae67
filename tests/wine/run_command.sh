#!/usr/bin/env bash
# run_command.sh: tessaline.exe under Wine exits as the Linux command does and writes the same files, byte
# for byte, given a relative scene path with forward slashes, an output path with drive letter and
# backslashes, a relative preview path with a backslash, names outside ASCII and a derived collision name.
set -euo pipefail
source "$(dirname "$0")/wine_env.sh"
start_case command
cd "$dir"
mkdir scènes && cp "$SOURCE_DIR/examples/room.dxs" scènes/niveau-été.dxs
options=(--scene-name DemoRoom --collision one --collision-file "")
status=0
wine "$COMMAND_EXE" export scènes/niveau-été.dxs -o "$(windows_path "$dir/wine")\\sortie-ü.dbo" --preview 'wine\aperçu.png' \
  --install-dir "$(windows_path "$SOURCE_DIR/examples")" "${options[@]}" >wine.stdout 2>wine.stderr || status=$?
wineserver -k || true
[ "$status" -eq 0 ] || { fail "tessaline.exe exited with $status" && cat wine.stdout wine.stderr; }
same_as_linux 0 scènes/niveau-été.dxs -o linux/sortie-ü.dbo --preview linux/aperçu.png \
  --install-dir "$SOURCE_DIR/examples" "${options[@]}"
exit $failed
