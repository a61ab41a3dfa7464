#!/usr/bin/env bash
# Writes PNGs of the Expert mode pages (filled in as a user would) and of the file
# chooser in both modes into a folder (default: screenshots/ in the build folder),
# under a virtual display, one window per process. Not part of the test run: for
# looking at the windows after a layout change.
#   tests/gui/expert_screenshots.sh [BUILD_DIR] [OUTPUT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
out=$(mkdir -p "${2:-$build/screenshots}" && cd "${2:-$build/screenshots}" && pwd)
cmake --build "$build" --target buildpage_test applypage_test chooser_test
shoot() {
  DELVORIN_BIN="$build/bin" DELVORIN_EXPERT_SCREENSHOTS="$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/$1" --gtest_filter="$2" >/dev/null
}
shoot buildpage_test 'BuildPageScreenshots.*'
shoot applypage_test 'ApplyPageScreenshots.*'
shoot chooser_test 'ChooserScreenshots.RemoveMode'
shoot chooser_test 'ChooserScreenshots.ExcludeMode'
ls "$out"/expert_*.png "$out"/chooser_*.png
