#!/usr/bin/env bash
# Checks the built DLL's PE tables with the mingw objdump.
#   check_dll.sh exports OBJDUMP DLL   exactly the eight exports, each under its plain and its decorated
#                                      stdcall name, both names at the same address
#   check_dll.sh imports OBJDUMP DLL   only system DLLs are imported (the compiler's runtime is linked in)
set -euo pipefail
mode=$1 objdump=$2 dll=$3
dump=$("$objdump" -p "$dll")

case "$mode" in
exports)
  declare -A rva name_rva
  # "[   0] +base[   1] 1660 Export RVA": address table entry n holds the function's address.
  while read -r n addr; do rva[$n]=$addr; done < <(
    sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$dump" |
      sed -n 's/^\s*\[\s*\([0-9]*\)\] +base\[\s*[0-9]*\] \([0-9a-f]*\) Export RVA$/\1 \2/p')
  # "[   0] PluginAuthor": the name and the address table entry it leads to.
  while read -r n name; do name_rva[$name]=${rva[$n]:-missing}; done < <(
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
      sed -n 's/^\s*\[\s*\([0-9]*\)\] \(.*\)$/\1 \2/p')
  expected=()
  for f in Name@0 Description@0 DeleDVersion@0 Version@0 Author@0 Email@0 SetCallback@4 Execute@0; do
    plain=Plugin${f%@*}
    decorated=_Plugin$f
    expected+=("$plain" "$decorated")
    [ -n "${name_rva[$plain]:-}" ] || { echo "missing export $plain"; exit 1; }
    [ -n "${name_rva[$decorated]:-}" ] || { echo "missing export $decorated"; exit 1; }
    if [ "${name_rva[$plain]}" != "${name_rva[$decorated]}" ]; then
      echo "$plain (${name_rva[$plain]}) and $decorated (${name_rva[$decorated]}) differ"
      exit 1
    fi
  done
  if [ "${#name_rva[@]}" -ne "${#expected[@]}" ]; then
    echo "expected ${#expected[@]} exports, found ${#name_rva[@]}: ${!name_rva[*]}"
    exit 1
  fi
  echo "16 exports, plain and decorated names at the same addresses"
  ;;
imports)
  allowed=" kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll advapi32.dll msvcrt.dll "
  found=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump")
  [ -n "$found" ] || { echo "no imports found"; exit 1; }
  bad=0
  for dll_name in $found; do
    lower=${dll_name,,}
    if [[ "$allowed" != *" $lower "* ]]; then
      echo "imports $dll_name, which is not a system DLL"
      bad=1
    fi
  done
  [ $bad -eq 0 ] || exit 1
  echo "imports only system DLLs:" $found
  ;;
*)
  echo "unknown mode $mode"; exit 2 ;;
esac
