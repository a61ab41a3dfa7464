#!/usr/bin/env bash
# Makes the private Wine prefix of one test run afresh under the build folder, so that no
# setting or file of an earlier run or of the user's own prefix reaches the tests.
#   tests/windows/wine_prefix.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
command -v wine >/dev/null || { echo "wine is not installed"; exit 77; }
source "$(dirname "$0")/wine_env.sh"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
xvfb-run -a wineboot -i >/dev/null 2>&1
wineserver -w
echo "Wine prefix made: $WINEPREFIX"
