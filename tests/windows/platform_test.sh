#!/usr/bin/env bash
# The Windows platform layer under Wine: PlatformTest.exe checks names, long paths, opens
# beneath a folder, renames and links, the walk, the one-apply lock, file times, flushes
# and read-only files in a fresh folder, each through the layer's own calls.
#   tests/windows/platform_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
exe=$build/bin/windows/PlatformTest.exe
[ -f "$exe" ] || { echo "no $exe: the Windows programs are not built"; exit 77; }
command -v wine >/dev/null || { echo "wine is not installed"; exit 77; }
source "$(dirname "$0")/wine_env.sh"
work=$(mktemp -d)
trap 'wineserver -w 2>/dev/null || true; rm -rf "$work"' EXIT

status=0
wine "$exe" "$(winepath -w "$work")" || status=$?
exit "$status"
