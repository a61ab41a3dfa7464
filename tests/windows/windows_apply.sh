# What the Windows apply program's tests share, sourced by their scripts: the programs
# of the build, a self-extracting patch program for Windows made from two folders, and
# one run of it on the console under Wine.
#   source tests/windows/windows_apply.sh BUILD_DIR
# Skips the test (exit 77) where the Windows program or Wine is missing.
build=$(cd "$1" && pwd)
cli=$build/bin/delvorin-cli
[ -f "$build/bin/windows/DvApply.exe" ] || { echo "no $build/bin/windows/DvApply.exe: the Windows programs are not built"; exit 77; }
command -v wine >/dev/null || { echo "wine is not installed"; exit 77; }
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"

# make_windows_program OLD NEW PROGRAM [BUILD OPTIONS...]: builds the self-extracting
# patch program for Windows; fails the test when the build fails.
make_windows_program() {
  local old=$1 new=$2 program=$3
  shift 3
  "$cli" build "$old" "$new" "$program" --self-extract --for windows "$@" >/dev/null ||
    { echo "FAIL: the build of $program failed"; exit 1; }
}

# run_windows_program PROGRAM FOLDER [OPTIONS...]: runs the program on the console under
# Wine on the folder (a Linux path), answering questions from $answers (default: none,
# the safe answers). Sets $status to its exit status and $output to what it wrote on
# standard output and error.
run_windows_program() {
  local program=$1 folder=$2
  shift 2
  status=0
  output=$(printf '%s' "${answers:-}" | wine "$program" --console "$(winepath -w "$folder")" "$@" 2>&1) || status=$?
  # The console run ends before a window run begins.
  wineserver -w
}

fail() { echo "FAIL: $*"; [ -n "${output:-}" ] && echo "$output"; exit 1; }
