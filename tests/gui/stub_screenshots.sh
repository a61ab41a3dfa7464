#!/usr/bin/env bash
# Writes PNGs of the self-extracting patch program's windows (the apply window, the
# errors list, the success message, the cancel question and what a cancel says) into a
# folder (default:
# screenshots/ in the build folder), under a virtual display, driven with xdotool. Not
# part of the test run: for looking at the windows after a change.
#   tests/gui/stub_screenshots.sh [BUILD_DIR] [OUTPUT_FOLDER]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
out=${2:-$build/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)
cmake --build "$build" --target delvorin-cli DvApply
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/old" "$work/new"
head -c 200000 /dev/urandom > "$work/old/core.bin"
head -c 300000 /dev/urandom > "$work/new/core.bin"
echo "Frobnicator 1.0" > "$work/old/readme.txt"
echo "Frobnicator 2.0" > "$work/new/readme.txt"
(cd "$work" && "$build/bin/delvorin-cli" build old new update.exe --self-extract --publisher "Ann Smith" \
   --organization "Acme & Sons" \
   --dialog-text "This updates Frobnicator to 2.0. Please close Frobnicator before you apply this update." \
   >/dev/null)
cp -r "$work/old" "$work/target"
cp -r "$work/new" "$work/wrong"
# A patch that takes some seconds to apply, so that its progress window can be cancelled.
mkdir -p "$work/bigold" "$work/bignew"
for i in $(seq 1 40); do
  head -c 4000000 /dev/urandom > "$work/bigold/part$i.bin"
  head -c 4000000 /dev/urandom > "$work/bignew/part$i.bin"
done
(cd "$work" && "$build/bin/delvorin-cli" build bigold bignew big.exe --self-extract --publisher "Ann Smith" \
   --organization "Acme & Sons" >/dev/null)

cat > "$work/drive.sh" <<'DRIVE'
set -u
work=$1 out=$2
shot() { sleep 0.4; import -window root "$out/$1.png"; }
window() {
  local w=""
  for _ in $(seq 1 100); do
    w=$(xdotool search --all --onlyvisible --pid "$pid" --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$w" ] && break
    sleep 0.1
  done
  [ -n "$w" ] && xdotool windowfocus --sync "$w"
}
NO_AT_BRIDGE=1 "$work/update.exe" "$work/wrong" & pid=$!
window "Delvorin Apply"; shot stub-apply
xdotool key Return; window "Delvorin Errors"; shot stub-errors
xdotool key Return; window "Delvorin Apply"; xdotool key Escape; wait $pid
NO_AT_BRIDGE=1 "$work/update.exe" "$work/target" & pid=$!
window "Delvorin Apply"; xdotool key alt+a; window "Delvorin Success!"; shot stub-success
xdotool key Return; wait $pid
NO_AT_BRIDGE=1 "$work/big.exe" "$work/bigold" & pid=$!
window "Delvorin Apply"; xdotool key alt+a; window "Applying Patch"; xdotool key Escape
window "Delvorin Warning"; shot stub-cancel-question
xdotool key Return; window "Delvorin Whoops!"; shot stub-cancelled
xdotool key Return; wait $pid
DRIVE
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/drive.sh" "$work" "$out"
echo "Screenshots in $out"
