#!/usr/bin/env bash
# Whole `tessaline export` runs (default options: textures on, no collision file) on generated scenes of
# 10,000, 100,000 and 1,000,000 quads, in one primitive and in one primitive per 100 quads. For each: the
# median over repeated runs of the wall time and of the peak resident memory, the median time of two bare
# tree parses of the same text, and the ratios the targets are set on; then the growth exponents of time and
# peak memory from 10,000 to 1,000,000 quads (log-log least squares over the medians).
# render_s is the time `tessaline render` takes to draw the exported file at 1024x768 (two-sided, so that
# every face is drawn); its target, from 100,000 quads on, is less time than the export.
# Targets: export time at most 0.6 x two parses, peak RSS at most 3 x the answer, exponents at most 1.05.
# Usage: bench/scale-report.sh [BUILD_DIR] (default build/linux; REPEATS=n, default 3; needs GNU time)
set -euo pipefail
build=${1:-build/linux}
repeats=${REPEATS:-3}
tool=$build/cli/tessaline
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/editor/Textures/Generated"
for m in 1 3 5 7; do head -c 1000 /dev/urandom >"$work/editor/Textures/Generated/tex$m.png"; done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

sizes=(10000 100000 1000000)
failed=0
printf '%-6s %9s %9s %9s %9s %7s %8s %8s %8s\n' shape quads answerMB export_s parses_s ratio peakMB xAnswer \
  render_s
for shape in one many; do
  : >"$work/fit"
  for quads in "${sizes[@]}"; do
    primitives=1
    [ "$shape" = many ] && primitives=$((quads / 100))
    scene=$work/scene.dxs
    "$build/bench/generate-scene" --quads "$quads" --primitives "$primitives" -o "$scene"
    : >"$work/times"
    : >"$work/peaks"
    : >"$work/parses"
    for ((run = 0; run < repeats; run++)); do
      rm -rf "$work/out" && mkdir -p "$work/out"
      /usr/bin/time -f '%e %M' -o "$work/time" "$tool" export "$scene" -o "$work/out/level.dbo" \
        --install-dir "$work/editor" >/dev/null
      read -r seconds kilobytes <"$work/time"
      echo "$seconds" >>"$work/times"
      echo "$kilobytes" >>"$work/peaks"
      "$build/bench/bare-parse" "$scene" >>"$work/parses"
    done
    seconds=$(median <"$work/times")
    kilobytes=$(median <"$work/peaks")
    parses=$(median <"$work/parses")
    bytes=$(stat -c %s "$scene")
    # The generated images are not decodable: render draws them as checkers and exits 3.
    /usr/bin/time -f '%e' -o "$work/render-time" "$tool" render "$work/out/level.dbo" -o "$work/out/level.png" \
      --size 1024x768 --two-sided >/dev/null 2>&1 || true
    render=$(tail -n 1 "$work/render-time")
    awk -v s="$shape" -v q="$quads" -v b="$bytes" -v e="$seconds" -v p="$parses" -v k="$kilobytes" -v r="$render" 'BEGIN {
      printf "%-6s %9d %9.1f %9.2f %9.2f %7.2f %8.0f %8.2f %8.2f\n", s, q, b / 1048576, e, p, e / p, k / 1024,
        k * 1024 / b, r }'
    if [ "$quads" -ge 100000 ]; then
      awk -v e="$seconds" -v p="$parses" -v k="$kilobytes" -v b="$bytes" \
        'BEGIN { exit !(e / p <= 0.6 && k * 1024 / b <= 3) }' || failed=1
      awk -v e="$seconds" -v r="$render" 'BEGIN { exit !(r < e) }' || failed=1
    fi
    echo "$quads $seconds $kilobytes" >>"$work/fit"
  done
  for column in 2 3; do
    what=time
    [ "$column" = 3 ] && what=memory
    exponent=$(awk -v c="$column" '{ x = log($1); y = log($c); n++; sx += x; sy += y; sxx += x * x; sxy += x * y }
      END { printf "%.3f", (n * sxy - sx * sy) / (n * sxx - sx * sx) }' "$work/fit")
    echo "growth exponent ($shape, $what): $exponent"
    awk -v x="$exponent" 'BEGIN { exit !(x <= 1.05) }' || failed=1
  done
done
if [ "$failed" -ne 0 ]; then
  echo "scale report: a target is missed (time <= 0.6 x two parses, peak <= 3 x answer, exponents <= 1.05," \
    "render faster than export)"
  exit 1
fi
echo "scale report: every target met"
