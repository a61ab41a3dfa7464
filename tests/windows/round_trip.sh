#!/usr/bin/env bash
# The Windows apply program under Wine: a patch built for Windows from an old and a new
# tree (names with letters beyond ASCII, paths longer than the old 260-character limit
# of Windows once below the target folder) applied on the console to a copy of the old
# tree makes it equal to the new one, with exit status 0, in both patch formats; applied
# again to the updated tree it changes nothing and ends as the Linux program does. The
# program itself imports system DLLs only and stays small, and the end of the session
# while its window is open is no success.
#   tests/windows/round_trip.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/windows_apply.sh" "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

old=$work/old new=$work/new
long=$(printf 'folder-with-a-long-name-%02d/' 1 2 3 4 5 6 7)
deep=$work/$(printf 'the-target-lies-deep-%02d/' 1 2 3 4 5)
mkdir -p "$old/bin" "$old/Größe/Ærø" "$old/$long" "$new/bin" "$new/Größe/Ærø" "$new/$long" "$new/Νέα"
head -c 300000 /dev/urandom >"$old/bin/tool.dll"
{ cat "$old/bin/tool.dll"; echo appended; } >"$new/bin/tool.dll"
echo "das alte Maß" >"$old/Größe/Ærø/grüße.txt"
echo "das neue Maß" >"$new/Größe/Ærø/grüße.txt"
echo "deep and old" >"$old/${long}tief-ß.txt"
echo "deep and new" >"$new/${long}tief-ß.txt"
echo "unchanged" | tee "$old/same.txt" >"$new/same.txt"
echo "νέο αρχείο" >"$new/Νέα/αρχείο.txt"

check_windows_program "$build/bin/windows/DvApply.exe"
mkdir -p "$deep"
for format in compact classic; do
  make_windows_program "$old" "$new" "$work/Update.exe" --format "$format"
  rm -rf "$deep/target"
  cp -a "$old" "$deep/target"
  [ $(( $(winepath -w "$deep/target/$long" | wc -c) )) -gt 260 ] || fail "the long path is too short"
  run_windows_program "$work/Update.exe" "$deep/target"
  [ "$status" = 0 ] || fail "the $format apply ended with $status"
  diff -r "$deep/target" "$new" || fail "the updated tree differs from the new one ($format)"
done

# Again on the updated tree: as the Linux program, it applies nothing new.
"$cli" build "$old" "$new" "$work/Linux.exe" --self-extract >/dev/null
cp -a "$new" "$work/linux-target"
linux_status=0
"$work/Linux.exe" --console "$work/linux-target" </dev/null >/dev/null 2>&1 || linux_status=$?
run_windows_program "$work/Update.exe" "$deep/target"
[ "$status" = "$linux_status" ] || fail "applied again: exit $status where the Linux program gives $linux_status"
diff -r "$deep/target" "$new" || fail "applying again changed the tree"
# The program in its window under Xvfb: Apply taken with its mnemonic, the success box
# closed with Enter, exit 0 and the new tree; then log-off or shutdown while the window is
# open, which ends it as SIGTERM does (143), not as a success, and leaves the tree as it was.
cat >"$work/in_window.sh" <<'WINDOW'
# in_window.sh PROGRAM FOLDER apply|end-session: runs the program in its window and ends
# with its exit status. A key that reached no window (the focus still moving) is pressed
# again until the window it was meant for answers.
visible() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
focus() { xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1" 2>/dev/null; sleep 0.3; }
# press KEY WINDOW NEXT: presses KEY in WINDOW until NEXT is shown, or WINDOW is gone.
press() {
  for _ in $(seq 1 40); do
    w=$(visible "$2")
    [ -n "$w" ] || return 0
    [ -n "$3" ] && [ -n "$(visible "$3")" ] && return 0
    focus "$w"; xdotool key "$1"
    for _ in $(seq 1 10); do
      [ -z "$(visible "$2")" ] && return 0
      [ -n "$3" ] && [ -n "$(visible "$3")" ] && return 0
      sleep 0.2
    done
  done
}
wine "$1" "$(winepath -w "$2")" >/dev/null 2>&1 & program=$!
for _ in $(seq 1 150); do [ -n "$(visible "Delvorin Apply")" ] && break; sleep 0.1; done
if [ "$3" = apply ]; then
  press alt+a "Delvorin Apply" "Delvorin Success!"
  press Return "Delvorin Success!" ""
else
  wineboot --end-session
fi
# Whatever happens, the program does not outlive a minute.
for _ in $(seq 1 600); do kill -0 $program 2>/dev/null || break; sleep 0.1; done
kill -0 $program 2>/dev/null && wineserver -k
status=0
wait $program || status=$?
wineserver -w
exit $status
WINDOW
for row in "apply 0 $new" "end-session 143 $old"; do
  read -r how expected tree <<<"$row"
  rm -rf "$deep/target"
  cp -a "$old" "$deep/target"
  status=0
  xvfb-run -a bash "$work/in_window.sh" "$work/Update.exe" "$deep/target" "$how" || status=$?
  [ "$status" = "$expected" ] || fail "in the window, $how gave exit $status"
  diff -r "$deep/target" "$tree" || fail "in the window, $how left another tree"
done
echo "round trip passed"
