#!/usr/bin/env bash
# The command's usage, exit statuses and messages. Usage: usage.sh TESSALINE EXAMPLES_FOLDER
set -uo pipefail
tool=$1 room=$2/room.dxs install=(--install-dir "$2") golden=$(dirname "$0")/../fixtures/cli out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# t STATUS [out|err TEXT] -- ARGS...: `tessaline ARGS...` exits with STATUS, and its stdout or stderr holds TEXT.
t() {
  local expected=$1 stream= text=
  shift
  [ "$1" = -- ] || { stream=$1 text=$2 && shift 2; }
  shift
  "$tool" "$@" >"$out/out" 2>"$out/err"
  local status=$?
  [ $status -eq "$expected" ] || { fail "tessaline $*: exit $status, expected $expected" && cat "$out/out" "$out/err"; }
  [ -z "$stream" ] || grep -qF -- "$text" "$out/$stream" || fail "tessaline $*: std$stream lacks '$text'"
}
exists() { for f; do [ -s "$out/$f" ] || fail "$f was not written"; done; }

t 0 out "tessaline export SCENE.xml -o OUT.dbo" -- --help
t 0 out "tessaline 2.0.0" -- --version
t 2 err "Try 'tessaline --help'." --
t 2 -- export "$room" -o "$out/x.dbo" --frobnicate
t 2 -- export "$room"
t 2 -- export "$room" -o "$out/x.dbo" --collision two
t 2 -- export "$room" -o "$out/x.dbo" --collision-file c.dbo  # without --collision
t 2 -- export "$room" -o "$out/x.dbo" --scale 1 2
t 1 err "cannot read the scene file" -- export "$out/none.dxs" -o "$out/x.dbo"
t 1 err "cannot read the scene file" -- export "$out" -o "$out/x.dbo"
# Collision file names outside the output folder, or names Windows keeps, are usage errors.
t 2 err "not '..\\esc.dbo'" -- export "$room" -o "$out/x.dbo" --collision one --collision-file '..\esc.dbo'
t 2 -- export "$room" -o "$out/x.dbo" --collision one --collision-file CON.dbo

# Files that are not scenes are refused without writing a file; an empty selection exports with a warning.
printf '<html><body>room</body></html>' >"$out/page.html"
printf '<scene><materials><material id="1" /></materials><primitives /></scene>' >"$out/empty.dxs"
t 1 err "holds no scene" -- export "$out/page.html" -o "$out/x.dbo" --no-textures
[ ! -e "$out/x.dbo" ] || fail "a refused scene wrote a file"
t 0 err "the model is empty" -- export "$out/empty.dxs" -o "$out/x.dbo" --no-textures

# The demo scene: the success text on stdout, and nothing on stderr (no progress when not on a terminal).
t 0 out "Scene correctly exported." -- export "$room" -o "$out/room.dbo" "${install[@]}" --collision one --collision-file ""
[ ! -s "$out/err" ] || { fail "progress or errors printed when not on a terminal" && cat "$out/err"; }
exists room.dbo room_col.dbo Media/planks.png Media/bricks.png Media/crate.png Media/col_rgba_235_230_215_255_.png \
  Media/col_rgba_255_240_200_255_.png Media/col_rgba_120_180_255_96_.png
(cd "$out" && "$tool" inspect room.dbo) 2>&1 | diff -u "$golden/synthetic_room.summary" - || fail "inspect"
(cd "$out" && "$tool" inspect --json room.dbo) 2>&1 | diff -u "$golden/synthetic_room.json" - || fail "inspect --json"
t 0 out "texture Media\\planks.png" -- inspect --tree "$out/room.dbo"
t 2 -- inspect --tree --json "$out/room.dbo"
head -c 100 "$out/room.dbo" >"$out/broken.dbo"
t 1 err "is not a sound DBO file" -- inspect "$out/broken.dbo"

mkdir -p "$out/warn" "$out/p" "$out/bare"
t 1 err "could not be written" -- export "$room" -o "$out/none/room.dbo" --no-textures
# The scene file is never written over; a two-corner polygon is left out, said on stderr.
printf %s '<scene><materials><material id="1" /></materials><primitives><primitive id="0"><vertices><vertex id="0"/>' \
  '</vertices><polygons><poly mid="1"><vertex vid="0"/><vertex vid="0"/><vertex vid="0"/></poly><poly mid="1">' \
  '<vertex vid="0"/><vertex vid="0"/></poly></polygons></primitive></primitives></scene>' >"$out/odd.xml"
cp "$out/odd.xml" "$out/odd.copy"
t 1 -- export "$out/odd.xml" -o "$out/odd.xml"
cmp -s "$out/odd.xml" "$out/odd.copy" || fail "the scene file was written over"
t 0 err "tessaline: 1 polygon left out: fewer than 3 corners" -- export "$out/odd.xml" -o "$out/odd.dbo" --no-textures

# render: the demo drawn; textures sought beside the model; failures and usage errors.
t 0 -- render "$out/room.dbo" -o "$out/room.png" --size 160x120 --view top --wireframe
pngcheck -q "$out/room.png" >/dev/null || fail "render wrote no sound PNG"
t 2 -- render "$out/room.dbo" -o "$out/x.png" --size 16385x10
t 2 -- render "$out/room.dbo" -o "$out/x.png" --view sideways
cp "$out/room.dbo" "$out/bare/"
t 3 err "texture 'Media\\planks.png' is missing (it is not found)" -- render "$out/bare/room.dbo" -o "$out/bare/room.png" --size 64x48
exists bare/room.png
t 1 err "is not a sound DBO file" -- render "$out/broken.dbo" -o "$out/b.png"
t 1 -- render "$out/room.dbo" -o "$out/none/room.png" --size 64x48

# export --preview: drawn after the export; never replaces what the export wrote; only a preview that cannot
# be written changes the status (3 without the install directory: written, but the images not copied).
t 0 -- export "$room" -o "$out/p/room.dbo" "${install[@]}" --preview "$out/p/preview.png"
exists p/preview.png
t 1 err "which the export wrote" -- export "$room" -o "$out/p/room.dbo" "${install[@]}" --preview "$out/p/room.dbo"
t 1 err "which the export wrote" -- export "$room" -o "$out/p/room.dbo" "${install[@]}" --preview "$out/p/Media/planks.png"
t 1 -- export "$room" -o "$out/p/room.dbo" "${install[@]}" --preview "$out/none/preview.png"
t 3 -- export "$room" -o "$out/warn/room.dbo" --preview "$out/warn/preview.png"

echo "usage: $failures failure(s)"
[ "$failures" -eq 0 ]
