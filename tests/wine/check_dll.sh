#!/usr/bin/env bash
# check_dll.sh exports|imports OBJDUMP DLL: the DLL's PE tables as the mingw objdump reads them. exports:
# exactly the eight, each under its plain and its decorated stdcall name (the substitute host checks that
# both lead to one function); imports: only system DLLs (the compiler's runtime is linked in).
set -euo pipefail
dump=$("$2" -p "$3")
case "$1" in
exports)
  # "[   0] PluginAuthor" lines of the name table.
  found=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[\s*[0-9]*\] //p' <<<"$dump" | sort)
  expected=$(for f in Name@0 Description@0 DeleDVersion@0 Version@0 Author@0 Email@0 SetCallback@4 Execute@0; do
    printf 'Plugin%s\n_Plugin%s\n' "${f%@*}" "$f"
  done | sort)
  diff <(echo "$expected") <(echo "$found") || { echo "the exports differ from the expected 16 (above)"; exit 1; }
  ;;
imports)
  found=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
  [ -n "$found" ] || { echo "no imports found"; exit 1; }
  for name in $found; do
    [[ " kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll advapi32.dll msvcrt.dll " == *" ${name,,} "* ]] ||
      { echo "imports $name, which is not a system DLL"; exit 1; }
  done
  ;;
*) echo "unknown mode $1"; exit 2 ;;
esac
