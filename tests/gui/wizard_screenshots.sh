#!/usr/bin/env bash
# Writes one PNG per page of the Wizard, and one of the Wizard as a failed Finish leaves
# it, into a folder (default: screenshots/ in the build folder), under a virtual display,
# by walking the real Wizard through both of its branches. Not part of the test run: for
# looking at the pages after a change.
#   tests/gui/wizard_screenshots.sh [BUILD_DIR] [OUTPUT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
out=$(mkdir -p "${2:-$build/screenshots}" && cd "${2:-$build/screenshots}" && pwd)
cmake --build "$build" --target wizard_test
DELVORIN_BIN="$build/bin" DELVORIN_WIZARD_SCREENSHOTS="$out" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tests/wizard_test" \
  --gtest_filter='Wizard.EveryPageHasItsPicture*:Wizard.AfterAFailedFinish*'
ls "$out"/wizard_*.png
