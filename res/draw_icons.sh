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
# The small sizes as bitmaps, every size from 40 up as the PNG itself, which Windows
# reads from Vista on: the icon is carried by every self-extracting program for Windows,
# and PNG keeps it a third of the size.
convert $(for size in "${ico_sizes[@]}"; do echo "$work/$size.png"; done) "$work/bitmaps.ico"
python3 - "$work" <<'ICO'
import struct, sys
work = sys.argv[1]
data = open(f"{work}/bitmaps.ico", "rb").read()
count = struct.unpack("<HHH", data[:6])[2]
images = []
for i in range(count):
    w, h, colours, _, planes, bits, size, offset = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
    side = w or 256
    image = open(f"{work}/{side}.png", "rb").read() if side >= 40 else data[offset:offset + size]
    images.append((w, h, colours, planes, bits, image))
out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
offset = 6 + 16 * len(images)
for w, h, colours, planes, bits, image in images:
    out += struct.pack("<BBBBHHII", w, h, colours, 0, planes, bits, len(image), offset)
    offset += len(image)
for *_, image in images:
    out += image
open("delvorin.ico", "wb").write(out)
ICO
echo delvorin.ico
