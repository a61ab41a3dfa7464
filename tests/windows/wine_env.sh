# The Wine settings of the Windows tests, sourced by their scripts: no debugging output,
# the 64-bit prefix made for this run under the build folder (tests/windows/wine_prefix.sh).
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=${DELVORIN_WINEPREFIX:-$build/windows/wineprefix}
