#!/usr/bin/env bash
# Writes one PNG per window of the program into a folder (default: screenshots/ in the
# build folder), under a virtual display. Not part of the test run: for looking at the
# windows after a layout change.
#   tests/gui/screenshots.sh [BUILD_DIR] [OUTPUT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
out=${2:-$build/screenshots}
mkdir -p "$out"
cmake --build "$build" --target gui_screenshots
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/gui_screenshots" "$out"
