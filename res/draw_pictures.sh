#!/usr/bin/env bash
# Draws the program's pictures into res/ as uncompressed Windows bitmaps (BMP3):
#   bitmap102.bmp  520x317, 4 bits   start-up splash
#   bitmap130.bmp  320x182, 8 bits   main dialog
#   bitmap135.bmp  200x285, 8 bits   Wizard: build or apply
#   bitmap137.bmp  200x285, 8 bits   Wizard: patch file
#   bitmap139.bmp  266x256, 8 bits   success dialog
#   bitmap140.bmp  363x256, 8 bits   failure dialog
#   bitmap141.bmp  199x290, 8 bits   Wizard: new files folder
#   bitmap142.bmp  199x290, 8 bits   Wizard: old files folder
#   icon128.bmp     32x32,  8 bits   application icon
# The 8-bit pictures carry a full 256-entry colour table, as the program's picture
# loader expects. Needs ImageMagick; the build itself only uses the finished files.
set -euo pipefail
cd "$(dirname "$0")"

FONT=DejaVu-Sans
BOLD=DejaVu-Sans-Bold

# Writes an 8-bit picture with a full 256-entry colour table: the image is given a
# fine dither-free gradient strip first so that it has more than 256 colours, reduced
# to exactly 256, and the strip is cut off again at the end.
write8() {
    local out=$1; shift
    convert "$@" +dither -colors 256 -type Palette -compress None BMP3:"$out"
}

check() { # file width height bits
    local f=$1 w=$2 h=$3 bits=$4 colours
    local hdr
    hdr=$(od -An -tu4 -j18 -N8 "$f" | tr -s ' ')
    local bpp
    bpp=$(od -An -tu2 -j28 -N2 "$f" | tr -d ' ')
    colours=$(od -An -tu4 -j46 -N4 "$f" | tr -d ' ')
    if [ "$hdr" != " $w $h" ] || [ "$bpp" != "$bits" ]; then
        echo "$f: wrong size or depth ($hdr, $bpp bits)" >&2; exit 1
    fi
    if [ "$bits" = 8 ] && [ "$colours" != 256 ] && [ "$colours" != 0 ]; then
        echo "$f: colour table has $colours entries, not 256" >&2; exit 1
    fi
}

# A soft gradient background of the given size and colours, with a little noise-free
# diagonal shading so that plenty of colours exist before the reduction to 256.
background() { # width height from to
    echo "-size $1x$2 gradient:$3-$4 ( -size $1x$2 gradient:#ffffff10-#00000018 -rotate 90 -resize $1x$2! ) -compose over -composite"
}

# Splash: deep blue, the product name, a quiet emblem of two folders joined by an arrow.
convert -size 520x317 gradient:'#16324f-#2c6e91' \
    -fill '#e8f1f5' -stroke none \
    -draw "roundrectangle 44,48 124,108 8,8" \
    -fill '#16324f' -draw "rectangle 44,48 76,58" \
    -fill '#f4a259' -draw "roundrectangle 176,48 256,108 8,8" \
    -fill '#16324f' -draw "rectangle 176,48 208,58" \
    -stroke '#e8f1f5' -strokewidth 6 -draw "line 134,78 154,78" \
    -fill '#e8f1f5' -stroke none -draw "polygon 152,68 166,78 152,88" \
    -fill white -font "$BOLD" -pointsize 64 -annotate +40+194 'Delvorin' \
    -fill '#bcd4e6' -font "$FONT" -pointsize 18 -annotate +372+194 'Version 1.2' \
    -fill '#e8f1f5' -font "$FONT" -pointsize 17 -annotate +44+236 'Binary patch files for whole folder trees' \
    -fill '#bcd4e6' -font "$FONT" -pointsize 13 -annotate +44+284 'Copyright (C) Quenmark. All rights reserved.' \
    +dither -colors 16 -type Palette -compress None BMP3:bitmap102.bmp
check bitmap102.bmp 520 317 4

# Main dialog: old folder, patch, new folder on a light sky.
write8 bitmap130.bmp $(background 320 182 '#f7fbfc' '#bcd9e6') \
    -fill '#9aa9b3' -draw "roundrectangle 24,58 104,122 8,8" -fill '#7d8d98' -draw "rectangle 24,52 58,62" \
    -fill '#ffffff' -draw "roundrectangle 128,46 192,134 4,4" \
    -stroke '#2c6e91' -strokewidth 3 -draw "line 140,66 180,66" -draw "line 140,80 180,80" -draw "line 140,94 168,94" \
    -stroke none -fill '#2c6e91' -draw "roundrectangle 216,58 296,122 8,8" -fill '#1d4f6b' -draw "rectangle 216,52 250,62" \
    -fill '#f4a259' -draw "polygon 108,78 122,86 108,94" -draw "polygon 198,78 212,86 198,94" \
    -fill '#1d4f6b' -font "$FONT" -pointsize 13 -annotate +44+150 'Old files' -annotate +138+150 'Patch' -annotate +232+150 'New files' \
    -font "$BOLD" -pointsize 16 -annotate +120+26 'Delvorin'
check bitmap130.bmp 320 182 8

# Wizard, build or apply: three steps on a path.
write8 bitmap135.bmp $(background 200 285 '#2c6e91' '#bcd9e6') \
    -stroke '#e8f1f5' -strokewidth 4 -fill none -draw "polyline 50,230 100,158 150,100" \
    -stroke none -fill '#f4a259' -draw "circle 50,230 64,230" -fill '#e8f1f5' -draw "circle 100,158 112,158" -draw "circle 150,100 164,100" \
    -fill '#1d4f6b' -font "$BOLD" -pointsize 14 -annotate +45+235 '1' -annotate +95+163 '2' -annotate +145+105 '3' \
    -fill white -font "$BOLD" -pointsize 20 -annotate +30+44 'Wizard'
check bitmap135.bmp 200 285 8

# Wizard, patch file: a sheet with a seal.
write8 bitmap137.bmp $(background 200 285 '#e8f1f5' '#6fa7c2') \
    -fill white -stroke '#1d4f6b' -strokewidth 2 -draw "roundrectangle 46,52 154,212 6,6" \
    -stroke '#6fa7c2' -strokewidth 3 -draw "line 64,82 136,82" -draw "line 64,102 136,102" -draw "line 64,122 120,122" -draw "line 64,142 130,142" \
    -stroke none -fill '#f4a259' -draw "circle 130,196 150,196" \
    -fill '#1d4f6b' -font "$BOLD" -pointsize 12 -annotate +116+201 'dvp'
check bitmap137.bmp 200 285 8

# Success: a calm green check.
write8 bitmap139.bmp $(background 266 256 '#f2f9f1' '#b7dfb0') \
    -fill '#4c9a52' -draw "circle 133,118 133,38" \
    -stroke white -strokewidth 14 -fill none -draw "stroke-linecap round stroke-linejoin round polyline 95,120 124,150 174,92" \
    -stroke none -fill '#2f6b34' -font "$BOLD" -pointsize 18 -annotate +98+236 'Done'
check bitmap139.bmp 266 256 8

# Failure: a warm warning sign.
write8 bitmap140.bmp $(background 363 256 '#fff7ec' '#f3cf9f') \
    -fill '#e07b39' -draw "polygon 181,36 271,196 91,196" \
    -fill white -draw "roundrectangle 174,86 188,150 5,5" -draw "circle 181,172 181,180" \
    -fill '#8a4518' -font "$BOLD" -pointsize 18 -annotate +143+236 'Whoops!'
check bitmap140.bmp 363 256 8

# Wizard, new files folder.
write8 bitmap141.bmp $(background 199 290 '#e8f1f5' '#2c6e91') \
    -fill '#1d4f6b' -draw "rectangle 40,96 84,110" -fill '#2c6e91' -draw "roundrectangle 40,104 160,190 8,8" \
    -fill '#f4a259' -draw "circle 140,112 156,112" -fill white -font "$BOLD" -pointsize 18 -annotate +133+119 '+' \
    -fill white -font "$BOLD" -pointsize 16 -annotate +58+238 'New files'
check bitmap141.bmp 199 290 8

# Wizard, old files folder.
write8 bitmap142.bmp $(background 199 290 '#f1f3f4' '#8c9ba5') \
    -fill '#5f6f7a' -draw "rectangle 40,96 84,110" -fill '#9aa9b3' -draw "roundrectangle 40,104 160,190 8,8" \
    -fill white -draw "rectangle 60,124 140,128" -draw "rectangle 60,140 140,144" -draw "rectangle 60,156 120,160" \
    -fill '#2f3b43' -font "$BOLD" -pointsize 16 -annotate +60+238 'Old files'
check bitmap142.bmp 199 290 8

# Application icon: a folder with an arrow.
write8 icon128.bmp $(background 32 32 '#2c6e91' '#16324f') \
    -fill '#f4a259' -draw "roundrectangle 5,10 26,25 2,2" -fill '#e8f1f5' -draw "polygon 12,13 22,17 12,21"
check icon128.bmp 32 32 8

echo "pictures written"
