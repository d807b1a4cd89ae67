#!/usr/bin/env bash
# check_imports.sh OBJDUMP FILE: the Windows build imports only system DLLs (the compiler's runtime is linked
# in), as the mingw objdump reads its import table. Its exports are checked by the substitute host.
set -euo pipefail
found=$("$1" -p "$2" | sed -n 's/^\s*DLL Name: //p')
[ -n "$found" ] || { echo "no imports found"; exit 1; }
for name in $found; do
  [[ " kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll advapi32.dll msvcrt.dll " == *" ${name,,} "* ]] ||
    { echo "imports $name, which is not a system DLL"; exit 1; }
done
