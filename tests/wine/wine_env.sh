# Sourced by the Wine test scripts: a quiet Wine with its prefix in WINE_TEST_DIR (the build folder of these
# tests, which holds the host and the DLL), and what the cases share.
export WINEPREFIX="$WINE_TEST_DIR/prefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installers on the first start of a prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

# The Windows form of a Unix path (Wine's drive Z: is the root directory).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# A fresh folder for a case: $dir/wine for what is written under Wine, $dir/linux for the Linux command.
start_case() {
  dir=$WINE_TEST_DIR/$1
  rm -rf "$dir"
  mkdir -p "$dir/wine" "$dir/linux"
  failed=0
}
fail() {
  echo "FAIL: $*"
  failed=1
}

# same_as_linux STATUS ARGS...: `tessaline export ARGS...` must exit with STATUS, and what it wrote under
# $dir/linux must equal, byte for byte, what was written under $dir/wine.
same_as_linux() {
  local expected=$1 status=0
  shift
  "$LINUX_TOOL" export "$@" >"$dir/linux.stdout" 2>"$dir/linux.stderr" || status=$?
  [ "$status" -eq "$expected" ] ||
    { fail "tessaline export exited with $status, expected $expected" && cat "$dir/linux.stdout" "$dir/linux.stderr"; }
  diff -r "$dir/wine" "$dir/linux" || fail "the files written under Wine differ from tessaline export's"
}
