#!/usr/bin/env bash
# The command's usage, exit statuses and messages. Usage: usage.sh TESSALINE EXAMPLES_FOLDER
set -uo pipefail
tool=$1
examples=$2
golden=$(dirname "$0")/../fixtures/cli
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
check() {  # check DESCRIPTION EXPECTED_STATUS COMMAND...
  local what=$1 expected=$2
  shift 2
  "$@" >"$out/stdout" 2>"$out/stderr"
  local status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL: $what: exit $status, expected $expected"
    cat "$out/stdout" "$out/stderr"
    failures=$((failures + 1))
  fi
}
contains() {  # contains DESCRIPTION FILE TEXT
  if ! grep -qF -- "$3" "$out/$2"; then
    echo "FAIL: $1: $2 lacks '$3'"
    failures=$((failures + 1))
  fi
}

check "help" 0 "$tool" --help
contains "help" stdout "tessaline export SCENE.xml -o OUT.dbo"
check "version" 0 "$tool" --version
contains "version" stdout "tessaline 2.0.0"
check "no command" 2 "$tool"
contains "no command hint" stderr "Try 'tessaline --help'."
check "unknown option" 2 "$tool" export "$examples/room.dxs" -o "$out/x.dbo" --frobnicate
check "missing output" 2 "$tool" export "$examples/room.dxs"
check "bad collision mode" 2 "$tool" export "$examples/room.dxs" -o "$out/x.dbo" --collision two
check "collision file without collision" 2 "$tool" export "$examples/room.dxs" -o "$out/x.dbo" --collision-file c.dbo
check "scale needs three" 2 "$tool" export "$examples/room.dxs" -o "$out/x.dbo" --scale 1 2
check "missing scene file" 1 "$tool" export "$out/none.dxs" -o "$out/x.dbo"
contains "missing scene file" stderr "cannot read the scene file"
check "scene file is a folder" 1 "$tool" export "$out" -o "$out/x.dbo"
contains "scene file is a folder" stderr "cannot read the scene file"

# Files that are not scenes are refused; an empty selection exports with a warning; a primitive without
# its polygons is named. None of the refused ones writes a file.
printf '{"scene": []}' >"$out/scene.json"
printf '<html><body>room</body></html>' >"$out/page.html"
printf '<scene><materials><material id="1" /></materials><primitives /></scene>' >"$out/empty.dxs"
printf '<scene><primitives><primitive id="7"><vertices /></primitive></primitives></scene>' >"$out/nopolys.dxs"
for f in "$out/scene.json" "$out/page.html" /dev/null; do
  check "not a scene: $f" 1 "$tool" export "$f" -o "$out/x.dbo" --no-textures
  contains "not a scene: $f" stderr "holds no scene"
done
check "primitive without polygons" 1 "$tool" export "$out/nopolys.dxs" -o "$out/x.dbo" --no-textures
contains "primitive without polygons" stderr "The primitive with id 7 has no polygons or no vertices. Nothing was exported."
[ -e "$out/x.dbo" ] && { echo "FAIL: a refused scene wrote a file"; failures=$((failures + 1)); }
check "empty selection" 0 "$tool" export "$out/empty.dxs" -o "$out/x.dbo" --no-textures
contains "empty selection" stderr "the model is empty"

# A complete export of the demo scene: success text on stdout, no progress when not on a terminal.
check "demo export" 0 "$tool" export "$examples/room.dxs" -o "$out/room.dbo" --install-dir "$examples" \
  --collision one --collision-file ""
contains "demo export" stdout "Scene correctly exported."
if [ -s "$out/stderr" ]; then echo "FAIL: progress or errors printed when not on a terminal"; cat "$out/stderr"; failures=$((failures + 1)); fi
for f in room.dbo room_col.dbo Media/planks.png Media/bricks.png Media/crate.png \
         Media/col_rgba_235_230_215_255_.png Media/col_rgba_255_240_200_255_.png Media/col_rgba_120_180_255_96_.png; do
  [ -s "$out/$f" ] || { echo "FAIL: demo export did not write $f"; failures=$((failures + 1)); }
done
# inspect's summary and JSON of the demo room, as a designer and a program see them.
for view in summary json; do
  (cd "$out" && "$tool" inspect $([ $view = json ] && echo --json) room.dbo) >"$out/inspect.$view" 2>&1
  diff -u "$golden/synthetic_room.$view" "$out/inspect.$view" || { echo "FAIL: inspect $view"; failures=$((failures + 1)); }
done
check "inspect tree" 0 "$tool" inspect --tree "$out/room.dbo"
contains "inspect tree" stdout "texture Media\\planks.png"
check "inspect two views" 2 "$tool" inspect --tree --json "$out/room.dbo"

# Without the install directory the images cannot be copied: written, with a warning and status 3.
mkdir -p "$out/warn"
check "textures missing" 3 "$tool" export "$examples/room.dxs" -o "$out/warn/room.dbo"
check "output folder missing" 1 "$tool" export "$examples/room.dxs" -o "$out/none/room.dbo" --no-textures
contains "output folder missing" stderr "could not be written"

# Collision file names outside the output folder, or names Windows keeps, are usage errors.
for name in ../escaped.dbo '..\..\esc2.dbo' CON.dbo; do
  check "collision file $name" 2 "$tool" export "$examples/room.dxs" -o "$out/x.dbo" --collision one --collision-file "$name"
done
# The scene file is never written over; nine layers keep eight and a two-corner polygon is left out, both
# said on stderr while the export succeeds.
{ printf '<scene><materials><material id="1">'
  for k in 1 2 3 4 5 6 7 8 9; do printf '<layer type="color"><color r="%s"/></layer>' "$k"; done
  printf '</material></materials><primitives><primitive id="0"><vertices><vertex id="0"/></vertices><polygons>'
  printf '<poly mid="1"><vertex vid="0"/><vertex vid="0"/><vertex vid="0"/></poly>'
  printf '<poly mid="1"><vertex vid="0"/><vertex vid="0"/></poly></polygons></primitive></primitives></scene>'; } >"$out/odd.xml"
cp "$out/odd.xml" "$out/odd.copy"
check "scene as output" 1 "$tool" export "$out/odd.xml" -o "$out/odd.xml"
cmp -s "$out/odd.xml" "$out/odd.copy" || { echo "FAIL: the scene file was written over"; failures=$((failures + 1)); }
check "remarks" 0 "$tool" export "$out/odd.xml" -o "$out/odd.dbo"
contains "remarks" stderr "tessaline: 1 polygon left out: fewer than 3 corners"
contains "remarks" stderr "tessaline: This material has more than 8 texture layers; only the first 8 were exported: 1"

# A broken DBO file is named as such.
head -c 100 "$out/room.dbo" >"$out/broken.dbo"
check "inspect broken" 1 "$tool" inspect "$out/broken.dbo"
contains "inspect broken" stderr "is not a sound DBO file"

# render: the demo drawn; textures sought beside the model; failures and usage errors.
check "render demo" 0 "$tool" render "$out/room.dbo" -o "$out/room.png" --size 160x120 --view top --wireframe
pngcheck -q "$out/room.png" >/dev/null || { echo "FAIL: render wrote no sound PNG"; failures=$((failures + 1)); }
check "render size too large" 2 "$tool" render "$out/room.dbo" -o "$out/x.png" --size 16385x10
check "render unknown view" 2 "$tool" render "$out/room.dbo" -o "$out/x.png" --view sideways
mkdir -p "$out/bare" && cp "$out/room.dbo" "$out/bare/"
check "render missing textures" 3 "$tool" render "$out/bare/room.dbo" -o "$out/bare/room.png" --size 64x48
contains "render missing textures" stderr "texture 'Media\\planks.png' is missing (it is not found)"
[ -s "$out/bare/room.png" ] || { echo "FAIL: no image drawn with missing textures"; failures=$((failures + 1)); }
check "render broken" 1 "$tool" render "$out/broken.dbo" -o "$out/b.png"
contains "render broken" stderr "is not a sound DBO file"
check "render unwritable" 1 "$tool" render "$out/room.dbo" -o "$out/none/room.png" --size 64x48

# export --preview: drawn after the export; it never replaces what the export wrote, and only a preview
# that cannot be written changes the export's status.
mkdir -p "$out/p"
check "export preview" 0 "$tool" export "$examples/room.dxs" -o "$out/p/room.dbo" --install-dir "$examples" \
  --preview "$out/p/preview.png"
[ -s "$out/p/preview.png" ] || { echo "FAIL: export --preview drew nothing"; failures=$((failures + 1)); }
for target in room.dbo Media/planks.png; do
  check "preview over $target" 1 "$tool" export "$examples/room.dxs" -o "$out/p/room.dbo" \
    --install-dir "$examples" --preview "$out/p/$target"
  contains "preview over $target" stderr "which the export wrote"
done
check "preview unwritable" 1 "$tool" export "$examples/room.dxs" -o "$out/p/room.dbo" --install-dir "$examples" \
  --preview "$out/none/preview.png"
check "preview keeps the warning" 3 "$tool" export "$examples/room.dxs" -o "$out/warn/room.dbo" \
  --preview "$out/warn/preview.png"

echo "usage: $failures failure(s)"
[ "$failures" -eq 0 ]
