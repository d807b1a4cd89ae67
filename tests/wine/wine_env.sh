# Sourced by the Wine test scripts: a quiet Wine with its prefix inside the build tree.
#   WINE_TEST_DIR   the build folder of these tests (holds prefix/, cases/, the host and the DLL)
export WINEPREFIX="$WINE_TEST_DIR/prefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installers on the first start of a prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

# The Windows form of a Unix path (Wine's drive Z: is the root directory).
windows_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}
