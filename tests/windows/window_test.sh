#!/usr/bin/env bash
# The Windows apply program's window under Wine on a virtual display, driven with real
# clicks and keys by xdotool: the apply window (found by its title), the backup choice,
# the folder typed, Apply clicked, the success box with the backups closed with Enter; the
# keyboard alone (mnemonic, Enter, Escape) to the errors list; the folder picker; Escape
# giving up. What the window reported back is checked. With a second argument the windows
# are photographed into that folder. Then what the offer to start again as an
# administrator rests on: a folder closed to the user (an immutable one: as root nothing
# else is refused) is told from an open one, and the restart runs the program again with
# the folder and backup on its command line and passes its exit status back.
#   tests/windows/window_test.sh BUILD_DIR [SCREENSHOT_FOLDER]
set -euo pipefail
build=$(cd "$1" && pwd)
shots=${2:-}
[ -n "$shots" ] && mkdir -p "$shots" && shots=$(cd "$shots" && pwd)
exe=$build/bin/windows/DvApplyWindowTest.exe
[ -f "$exe" ] || { echo "no $exe: the Windows programs are not built"; exit 77; }
command -v wine >/dev/null || { echo "wine is not installed"; exit 77; }
source "$(dirname "$0")/wine_env.sh"

check_windows_program "$exe"
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; chattr -i "$work/closed" 2>/dev/null; rm -rf "$work"' EXIT

cat > "$work/drive.sh" <<'DRIVE'
set -euo pipefail
exe=$1 work=$2 shots=$3
fail() { echo "FAIL: $*"; [ -f "$work/report" ] && cat "$work/report"; exit 1; }
shot() { [ -z "$shots" ] || { sleep 0.5; import -window root "$shots/$1.png"; }; }
# Waits for a window of the given title and gives it the keyboard.
window() {
  local w=""
  for _ in $(seq 1 150); do
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    [ -n "$w" ] && break
    sleep 0.1
  done
  [ -n "$w" ] || fail "no window \"$1\""
  xdotool windowactivate --sync "$w" 2>/dev/null || xdotool windowfocus --sync "$w"
  sleep 0.3
}
# The screen position of a control of the apply window, as the program reported it.
at() {
  for _ in $(seq 1 50); do
    grep -q "^$1 " "$work/report" 2>/dev/null && break
    sleep 0.1
  done
  grep "^$1 " "$work/report" | head -1 | cut -d' ' -f2-3
}
click() { xdotool mousemove $(at "$1") click 1; sleep 0.2; }
# Starts the program with the given arguments and a fresh report; its process id in $pid.
start() { rm -f "$work/report"; wine "$exe" --report "$(winepath -w "$work/report")" "$@" & pid=$!; }
# reported LINE WHY [LINE WHY...]: each line is in the report, else the test fails saying why.
reported() { while [ $# -gt 0 ]; do grep -qx -- "$1" "$work/report" || fail "$2"; shift 2; done; }
# Waits for the program (a child of this shell, so not in a subshell); fails unless it
# ended with the given status.
ended() {
  local status=0
  wait "$1" || status=$?
  [ "$status" = "$2" ] || fail "$3 (exit status $status)"
}

# With the mouse: backup on, another folder typed, Apply clicked; the success box lists
# the backups and closes with Enter.
start --result backups
window "Delvorin Apply"; shot dvapply_windows_apply
click backup
click folder; xdotool key ctrl+a; xdotool type --delay 20 'D:\Frob 2'
click apply
window "Delvorin Success!"; shot dvapply_windows_success
xdotool key Return
ended $pid 0 "the program did not end well"
reported 'folder D:\\Frob 2' "folder not taken" 'backup 1 bak' "backup not taken" 'result backups' "no success shown"

# With the keyboard alone: Alt+B turns the backup on, Enter applies; the errors list
# closes with Escape.
start --result errors
window "Delvorin Apply"; at apply >/dev/null
xdotool key alt+b Return
window "Delvorin Errors"; shot dvapply_windows_errors
xdotool key Escape
ended $pid 0 "the program did not end well"
reported 'folder C:\\Frobnicator' "proposed folder not kept" 'backup 1 bak' "Alt+B did not reach the backup choice" \
  'result errors' "no errors list shown"

# Browse (Alt+R) opens the system's folder picker, which Escape closes; Escape then gives
# up: nothing is applied.
start
window "Delvorin Apply"; at apply >/dev/null
xdotool key alt+r
window "Choose folder to Apply Patch to..."
xdotool key Escape
window "Delvorin Apply"
xdotool key Escape
ended $pid 2 "Escape did not give up"
reported cancelled "Escape did not give up"
echo "window test passed"
DRIVE
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/drive.sh" "$exe" "$work" "$shots"
wineserver -w

mkdir -p "$work/open" "$work/closed" "$work/Program Files/Frob"
probe() { wine "$exe" --report "$(winepath -w "$work/probe")" --probe "$(winepath -w "$1")"; wineserver -w; }
if chattr +i "$work/closed" 2>/dev/null; then
  probe "$work/open"
  probe "$work/closed"
  [ "$(grep ^denied "$work/probe" | tr '\n' ' ')" = "denied 0 denied 1 " ] ||
    { echo "FAIL: the closed folder is not told from the open one: $(cat "$work/probe")"; exit 1; }
  [ -z "$(ls -A "$work/open")" ] || { echo "FAIL: the probe left $(ls -A "$work/open")"; exit 1; }
  chattr -i "$work/closed"
else
  echo "chattr +i is not allowed here: the probe of a closed folder is left out"
fi
(cd "$work" && wine "$exe" --report "$(winepath -w "$work/probe")" --restart "$(winepath -w "$work/Program Files/Frob")\\")
wineserver -w
grep -qx "restart ran 1 status 42" "$work/probe" || { echo "FAIL: the restart: $(cat "$work/probe")"; exit 1; }
[ "$(cat "$work/restarted.txt")" = "$(printf -- '--backup=old bak\n--\n%s\\' "$(winepath -w "$work/Program Files/Frob")")" ] ||
  { echo "FAIL: the restarted program got: $(cat "$work/restarted.txt")"; exit 1; }
echo "administrator offer test passed"
