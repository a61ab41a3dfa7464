#!/usr/bin/env bash
# Renders the desktop icon res/icons/delvorin.svg (the application icon of icon128.bmp
# drawn to scale) into the PNG sizes the desktop's icon theme asks for:
#   icons/48/delvorin.png, icons/128/delvorin.png, icons/256/delvorin.png
# and the Windows apply program's icon with every size Windows picks from at 100 % to
# 200 % scale: icons/delvorin.ico.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick; the build only uses the finished files.
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 48 128 256; do
    mkdir -p "$size"
    rsvg-convert -w "$size" -h "$size" -o "$size/delvorin.png" delvorin.svg
    echo "$size/delvorin.png"
done
ico_sizes=(16 20 24 32 40 48 64 256)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in "${ico_sizes[@]}"; do
    rsvg-convert -w "$size" -h "$size" -o "$work/$size.png" delvorin.svg
done
convert $(for size in "${ico_sizes[@]}"; do echo "$work/$size.png"; done) delvorin.ico
echo delvorin.ico
