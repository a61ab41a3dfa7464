# The Wine settings of the Windows tests, sourced by their scripts: no debugging output,
# the 64-bit prefix made for this run under the build folder (tests/windows/wine_prefix.sh).
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${DELVORIN_WINEPREFIX:-$build/windows/wineprefix}

# check_windows_program EXE: linked statically, a Windows program imports system DLLs only
# and stays within 600,000 bytes (every self-extracting patch for Windows carries it).
check_windows_program() {
  local allowed=" KERNEL32.dll USER32.dll GDI32.dll COMCTL32.dll COMDLG32.dll SHELL32.dll ole32.dll ADVAPI32.dll msvcrt.dll "
  local dll size
  for dll in $(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    case "$allowed" in *" $dll "*) ;; *) echo "FAIL: $1 imports $dll"; exit 1 ;; esac
  done
  size=$(stat -c %s "$1")
  [ "$size" -le 600000 ] || { echo "FAIL: $1 is $size bytes"; exit 1; }
}
