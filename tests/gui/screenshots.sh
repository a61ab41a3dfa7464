#!/usr/bin/env bash
# Writes one PNG per window of the program into a folder (default: screenshots/ in the
# build folder), under a virtual display. Not part of the test run: for looking at the
# windows after a layout change. With GDK_SCALE=2 in the environment the windows are
# shown and taken at twice the desktop scale.
#   tests/gui/screenshots.sh [BUILD_DIR] [OUTPUT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
out=${2:-$build/screenshots}
mkdir -p "$out"
cmake --build "$build" --target gui_screenshots
scale=${GDK_SCALE:-1}
xvfb-run -a -s "-screen 0 $((1280 * scale))x$((1024 * scale))x24" "$build/tests/gui_screenshots" "$out"
