#!/usr/bin/env bash
# Creates the Wine prefix of the tests once per build tree (the first start of a prefix is slow).
# Run under xvfb-run.
set -euo pipefail
source "$(dirname "$0")/wine_env.sh"
[ -f "$WINEPREFIX/.tessaline-ready" ] && exit 0
rm -rf "$WINEPREFIX"
wineboot -i
# Without a window manager under Xvfb, Wine draws the window frames and captions itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
wineserver -w
touch "$WINEPREFIX/.tessaline-ready"
