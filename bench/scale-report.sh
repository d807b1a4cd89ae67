#!/usr/bin/env bash
# Whole `tessaline export` runs (default options: textures on, no collision file) on generated scenes from 10,000 to
# 1,000,000 quads, in one primitive and in one primitive per 100 quads. For each: wall time, peak
# resident memory, the time of two bare parses of the same text, and both ratios; then the growth
# exponent of the export time fitted over the sizes (log-log least squares). render_s is the time
# `tessaline render` takes to draw the exported file at 1024x768 (two-sided, so that every face is drawn).
# Usage: bench/scale-report.sh [BUILD_DIR]   (default build/linux; needs GNU time at /usr/bin/time)
set -euo pipefail
build=${1:-build/linux}
tool=$build/cli/tessaline
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/editor/Textures/Generated"
for m in 1 3 5 7; do head -c 1000 /dev/urandom >"$work/editor/Textures/Generated/tex$m.png"; done

sizes=(10000 30000 100000 300000 1000000)
printf '%-10s %-11s %9s %9s %8s %9s %9s %7s %8s\n' shape quads answerMB export_s parses_s ratio peakMB xAnswer \
  render_s
for shape in one many; do
  : >"$work/fit"
  for quads in "${sizes[@]}"; do
    primitives=1
    [ "$shape" = many ] && primitives=$((quads / 100))
    scene=$work/scene.dxs
    "$build/bench/generate-scene" --quads "$quads" --primitives "$primitives" -o "$scene"
    rm -rf "$work/out" && mkdir -p "$work/out"
    /usr/bin/time -f '%e %M' -o "$work/time" "$tool" export "$scene" -o "$work/out/level.dbo" \
      --install-dir "$work/editor" >/dev/null
    read -r seconds kilobytes <"$work/time"
    # The generated images are not decodable: render draws them as checkers and exits 3.
    /usr/bin/time -f '%e' -o "$work/render-time" "$tool" render "$work/out/level.dbo" -o "$work/out/level.png" \
      --size 1024x768 --two-sided >/dev/null 2>&1 || true
    render=$(tail -n 1 "$work/render-time")
    parses=$("$build/bench/bare-parse" "$scene")
    bytes=$(stat -c %s "$scene")
    awk -v s="$shape" -v q="$quads" -v b="$bytes" -v e="$seconds" -v p="$parses" -v k="$kilobytes" -v r="$render" 'BEGIN {
      printf "%-10s %-11d %9.1f %9.2f %8.2f %9.2f %9.0f %7.1f %8.2f\n", s, q, b / 1048576, e, p, e / p, k / 1024,
        k * 1024 / b, r }'
    echo "$quads $seconds" >>"$work/fit"
  done
  awk -v s="$shape" '{ x = log($1); y = log($2); n++; sx += x; sy += y; sxx += x * x; sxy += x * y }
    END { printf "growth exponent (%s): %.3f\n", s, (n * sxy - sx * sy) / (n * sxx - sx * sx) }' "$work/fit"
done
