#!/usr/bin/env bash
# Renders the desktop icon res/icons/delvorin.svg (the application icon of icon128.bmp
# drawn to scale) into the PNG sizes the desktop's icon theme asks for:
#   icons/48/delvorin.png, icons/128/delvorin.png, icons/256/delvorin.png
# Needs rsvg-convert (librsvg2-bin); the build only uses the finished files.
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 48 128 256; do
    mkdir -p "$size"
    rsvg-convert -w "$size" -h "$size" -o "$size/delvorin.png" delvorin.svg
    echo "$size/delvorin.png"
done
