#!/usr/bin/env bash
# The plug-in at scale: exports generated levels of 600,000 and 1,000,000 quads (one primitive per 100
# quads) with the real Tessaline.dll under Wine, through the substitute host, which holds the answer in its
# own memory as the editor does and is not large-address-aware (2 GB of address space, as the editor has).
# Textures off. Each DBO file must be byte-identical to the Linux command's; reports the time and the host
# process's peak virtual size. Not part of `make test` (minutes and gigabytes).
# Usage: bench/wine-scale.sh [LINUX_BUILD] [WINDOWS_BUILD]   (defaults build/linux, build/windows; both built)
set -euo pipefail
linux_build=$(realpath "${1:-build/linux}")
windows_build=$(realpath "${2:-build/windows}")
export WINE_TEST_DIR=$windows_build/tests/wine
source "$(dirname "$0")/../tests/wine/wine_env.sh"
[ -f "$WINEPREFIX/system.reg" ] || xvfb-run -a "$(dirname "$0")/../tests/wine/make_prefix.sh"
if objdump -p "$WINE_TEST_DIR/tessaline_host.exe" | grep -q 'large address aware'; then
  echo "the substitute host must not be large-address-aware" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
printf '%-9s %9s %9s %11s %10s %s\n' quads answerMB wine_s peakVirtMB linux_s files
for quads in 600000 1000000; do
  scene=$work/level.dxs
  "$linux_build/bench/generate-scene" --quads "$quads" --primitives $((quads / 100)) -o "$scene"
  rm -rf "$work/wine" "$work/linux" && mkdir -p "$work/wine" "$work/linux"
  start=$(date +%s%N)
  status=0
  (cd "$WINE_TEST_DIR" && xvfb-run -a -s "-screen 0 1024x768x24" wine tessaline_host.exe \
    --scene "$(windows_path "$scene")" --install-dir "$(windows_path "$work")" \
    --output "$(windows_path "$work/wine")\\level.dbo" --no-textures --time-limit 1200 --memory-report) \
    >"$work/transcript" 2>"$work/stderr" || status=$?
  wine_ms=$((($(date +%s%N) - start) / 1000000))
  wineserver -k || true
  start=$(date +%s%N)
  "$linux_build/cli/tessaline" export "$scene" -o "$work/linux/level.dbo" --no-textures >/dev/null
  linux_ms=$((($(date +%s%N) - start) / 1000000))
  peak=$(sed -n 's/^peak virtual size: \([0-9]*\) bytes.*/\1/p' "$work/stderr" | tr -d '\r')
  verdict=identical
  if [ $status -ne 0 ] || ! grep -q 'Scene correctly exported' "$work/transcript"; then
    verdict="FAILED (host status $status): $(tr -d '\r' <"$work/transcript" | grep '^box' | head -1)"
    failed=1
  elif ! cmp -s "$work/wine/level.dbo" "$work/linux/level.dbo"; then
    verdict="DIFFER"
    failed=1
  fi
  awk -v q="$quads" -v b="$(stat -c %s "$scene")" -v w="$wine_ms" -v p="${peak:-0}" -v l="$linux_ms" \
    -v v="$verdict" 'BEGIN { printf "%-9d %9.1f %9.1f %11.0f %10.1f %s\n", q, b / 1048576, w / 1000, p / 1048576, l / 1000, v }'
done
exit $failed
