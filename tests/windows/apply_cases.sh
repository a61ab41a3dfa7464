#!/usr/bin/env bash
# What the Windows apply program does when things are not as they should be, run under
# Wine on the console: a folder that does not match, a damaged patch and a missing part
# each end with their status and leave the folder exactly as it was; backups find free
# names beside those already there; a name Windows cannot hold is refused before anything
# changes, naming the file; a signed program still applies. Each case is a row of the
# table at the end.
#   tests/windows/apply_cases.sh BUILD_DIR [--for linux]
# With --for linux the same cases run the Linux apply program directly (the statuses and
# texts are the same), which checks the cases themselves where Wine is missing; the two
# that only Windows can show (unfit names, signing) are then left out.
set -euo pipefail
build=$(cd "$1" && pwd)
system=${3:-windows}
[ "${2:-}" = "--for" ] || system=windows
cli=$build/bin/delvorin-cli
[ -x "$cli" ] || { echo "no $cli"; exit 77; }
if [ "$system" = windows ]; then
  program=$build/bin/windows/DvApply.exe
  [ -f "$program" ] || { echo "no $program: the Windows apply program is not built"; exit 77; }
  command -v wine >/dev/null || { echo "wine is not installed"; exit 77; }
  source "$(dirname "$0")/wine_env.sh"
else
  program=$build/bin/DvApply.exe
  [ -x "$program" ] || { echo "no $program"; exit 77; }
fi
work=$(mktemp -d)
trap '[ "$system" = linux ] || wineserver -w 2>/dev/null || true; rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL [$case_name]: $*"; failed=1; }

# A folder as the program takes it on its command line.
folder_arg() { if [ "$system" = windows ]; then winepath -w "$1"; else echo "$1"; fi; }
# Runs a self-extracting program on the console with the target folder and further
# arguments; its output goes to $work/out, its status to $status. Wine's processes end
# before the next run starts.
status=0
apply() {
  local exe=$1 target=$2
  shift 2
  status=0
  if [ "$system" = windows ]; then
    wine "$exe" --console "$(folder_arg "$target")" "$@" >"$work/out" 2>&1 </dev/null || status=$?
    wineserver -w
  else
    "$exe" --console "$target" "$@" >"$work/out" 2>&1 </dev/null || status=$?
  fi
}
expect_status() { [ "$status" = "$1" ] || fail "exit status $status, not $1: $(cat "$work/out")"; }
expect_said() { local t; for t; do grep -qF -- "$t" "$work/out" || fail "did not say \"$t\": $(cat "$work/out")"; done; }
# Every entry of a tree with its kind, size and sum, so that two listings are equal only
# when the trees are.
listing() {
  (cd "$1" && find . -mindepth 1 -printf '%y %s %P\n' | sort && find . -type f -exec md5sum {} + | sort -k2)
}
# The target as it was before: nothing may have changed.
expect_unchanged() { listing "$1" | cmp -s - "$2" || fail "the folder changed: $(listing "$1" | diff "$2" - || true)"; }
expect_tree() { [ "$(listing "$1")" = "$(listing "$2")" ] || fail "the folder is not $2: $(diff <(listing "$2") <(listing "$1") || true)"; }
# Builds a self-extracting program for the system under test from old to new.
build_program() {
  local new=$1 out=$2
  shift 2
  "$cli" build "$work/old" "$new" "$out" --self-extract --for "$system" "$@" \
    >"$work/build.out" 2>&1 || { echo "the build of $out failed: $(cat "$work/build.out")"; exit 1; }
}
# A copy of the old tree to apply to, and its listing.
fresh_target() {
  rm -rf "$work/target"
  cp -a "$work/old" "$work/target"
  listing "$work/target" >"$work/before"
}

# The trees: text files that change, a file in a folder, a new file, and data large
# enough that a split program has several parts.
mkdir -p "$work/old/sub" "$work/new/sub" "$work/new/added"
echo "Frobnicator 1.0" >"$work/old/readme.txt"
echo "Frobnicator 2.0, much improved" >"$work/new/readme.txt"
echo "setting=1" >"$work/old/app.cfg"
echo "setting=2" >"$work/new/app.cfg"
echo "option=1" >"$work/old/app.ini"
echo "option=2, new" >"$work/new/app.ini"
head -c 300000 /dev/urandom >"$work/old/sub/data.bin"
stub_kb=$(($(stat -c %s "$program") / 1000))
head -c $((stub_kb * 2000 + 400000)) /dev/urandom >"$work/new/sub/data.bin"
cat "$work/old/sub/data.bin" >>"$work/new/sub/data.bin"
echo "new" >"$work/new/added/fresh.txt"
build_program "$work/new" "$work/update.exe"

case_mismatch() {
  fresh_target
  echo "Frobnicator 1.0 (edited)" >"$work/target/readme.txt"
  listing "$work/target" >"$work/before"
  apply "$work/update.exe" "$work/target"
  expect_status 3
  expect_said "readme.txt"
  expect_unchanged "$work/target" "$work/before"
}

# Bytes flipped in the middle of the patch behind the program: the compressed stream no
# longer checks, and the patch is refused whole.
case_damaged() {
  fresh_target
  cp "$work/update.exe" "$work/damaged.exe"
  local stub length at
  stub=$(stat -c %s "$program")
  length=$(stat -c %s "$work/damaged.exe")
  at=$(((stub + length) / 2))
  printf '\xa5\x5a\xa5\x5a' | dd of="$work/damaged.exe" bs=1 seek=$at conv=notrunc status=none
  chmod +x "$work/damaged.exe"
  apply "$work/damaged.exe" "$work/target"
  expect_status 1
  expect_said "Error opening patch file"
  expect_unchanged "$work/target" "$work/before"
}

# Split into the program and two parts beside it; part 2 is gone: the program asks for it
# (nobody answers on the console), says the patch cannot be opened and changes nothing.
case_missing_part() {
  fresh_target
  mkdir -p "$work/disk"
  build_program "$work/new" "$work/disk/update.exe" --split $((stub_kb + 100))
  [ -f "$work/disk/update.dv002" ] || { fail "the split made no second part: $(ls "$work/disk")"; return; }
  rm "$work/disk/update.dv002"
  apply "$work/disk/update.exe" "$work/target"
  expect_status 1
  expect_said "Please put file update.dv002 into the folder" "Error opening patch file"
  expect_unchanged "$work/target" "$work/before"
}

# The folder already holds app.bak and readme.bak: the backups of app.cfg and app.ini
# (which both map to app.bak) and of readme.txt take the next free names, and every file
# that was there stays as it was.
case_backups() {
  fresh_target
  echo "an older backup" >"$work/target/app.bak"
  echo "an older backup of the readme" >"$work/target/readme.bak"
  cp "$work/target/app.bak" "$work/target/readme.bak" "$work"
  apply "$work/update.exe" "$work/target" --backup
  expect_status 0
  cmp -s "$work/target/app.bak" "$work/app.bak" || fail "app.bak was replaced"
  cmp -s "$work/target/readme.bak" "$work/readme.bak" || fail "readme.bak was replaced"
  cmp -s "$work/target/readme.1.bak" "$work/old/readme.txt" || fail "readme.1.bak is not the old readme.txt"
  # app.cfg and app.ini take app.1.bak and app.2.bak, in either order.
  local kept
  kept=$(cat "$work/target/app.1.bak" "$work/target/app.2.bak" 2>/dev/null | sort | tr '\n' ' ')
  [ "$kept" = "option=1 setting=1 " ] || fail "the backups of app.cfg and app.ini are \"$kept\""
  expect_said "Backups of the replaced files:" "readme.1.bak"
  cmp -s "$work/target/sub/data.bak" "$work/old/sub/data.bin" || fail "sub/data.bak is not the old sub/data.bin"
  rm "$work/target/"{app.bak,readme.bak,readme.1.bak,app.1.bak,app.2.bak,sub/data.bak}
  expect_tree "$work/target" "$work/new"
}

# A new tree with names Windows cannot create: the build warns and goes on, the program
# refuses the patch in its verification, names each file, and changes nothing. It fails
# (status 1) rather than calling the folder unfit: no other folder would do.
case_unfit_names() {
  rm -rf "$work/unfit"
  cp -a "$work/new" "$work/unfit"
  echo "device" >"$work/unfit/aux.txt"
  echo "colon" >"$work/unfit/sub/a:b"
  echo "dot" >"$work/unfit/trailing."
  build_program "$work/unfit" "$work/unfit.exe"
  grep -q "aux.txt" "$work/build.out" || fail "the build did not warn about aux.txt: $(cat "$work/build.out")"
  fresh_target
  apply "$work/unfit.exe" "$work/target"
  expect_status 1
  expect_said "aux.txt" "a:b" "trailing."
  expect_unchanged "$work/target" "$work/before"
}

# Signed with a self-signed test certificate: the signature checks, and the program still
# finds its patch in front of it and applies it.
case_signed() {
  command -v osslsigncode >/dev/null && command -v openssl >/dev/null ||
    { echo "osslsigncode or openssl is not installed: [signed] left out"; return; }
  (cd "$work" && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj /CN=Delvorin-test >/dev/null 2>&1) || { fail "no test certificate"; return; }
  osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/update.exe" \
    -out "$work/signed.exe" >/dev/null 2>&1 || { fail "osslsigncode sign failed"; return; }
  osslsigncode verify -CAfile "$work/cert.pem" "$work/signed.exe" 2>&1 | grep -q "Signature verification: ok" ||
    fail "osslsigncode verify does not accept the signed program"
  fresh_target
  apply "$work/signed.exe" "$work/target"
  expect_status 0
  expect_tree "$work/target" "$work/new"
}

# The cases: name, and the systems that show them.
cases="
mismatch     windows linux
damaged      windows linux
missing_part windows linux
backups      windows linux
unfit_names  windows
signed       windows
"
while read -r case_name systems; do
  [ -n "$case_name" ] || continue
  case " $systems " in *" $system "*) ;; *) continue ;; esac
  "case_$case_name"
  echo "[$case_name] done"
done <<<"$cases"
[ "$failed" = 0 ] || exit 1
echo "apply cases passed ($system)"
