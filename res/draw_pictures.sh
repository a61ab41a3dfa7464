#!/usr/bin/env bash
# Draws the program's pictures into res/ as uncompressed Windows bitmaps (BMP3):
#   bitmap102.bmp  520x317, 4 bits   start-up splash (shown at its own size)
#   bitmap130.bmp  538x318, 8 bits   main dialog
#   bitmap135.bmp  340x493, 8 bits   Wizard: build or apply
#   bitmap137.bmp  340x493, 8 bits   Wizard: patch file (to create, or to apply)
#   bitmap139.bmp  448x448, 8 bits   success dialog
#   bitmap140.bmp  613x448, 8 bits   failure dialog
#   bitmap141.bmp  340x493, 8 bits   Wizard: a folder of files (new files, or to update)
#   bitmap142.bmp  340x493, 8 bits   Wizard: old files folder
#   icon128.bmp     32x32,  8 bits   application icon
# The picture frames of the windows are sized in dialog units, so their pixel size
# follows the desktop font (about 430x254 for the main dialog, 272x394 on the Wizard
# pages, 358x358 and 490x358 for the success and failure dialogs at the usual GTK
# font). Each picture has its frame's proportions and is drawn a quarter larger, so the
# picture control only ever scales it down, which keeps it sharp.
# Every picture but the icon is drawn a second time at twice its size into res/2x/,
# from the same drawing, for desktops at twice the scale (GDK_SCALE=2): there the frames
# have twice the pixels on screen, and an enlarged copy of the first drawing looks soft.
# The 8-bit pictures carry a full 256-entry colour table, as the program's picture
# loader expects. Needs ImageMagick and rsvg-convert; the build itself only uses the
# finished files.
set -euo pipefail
cd "$(dirname "$0")"

FONT=DejaVu-Sans
BOLD=DejaVu-Sans-Bold
work=$(mktemp -d)
mkdir -p 2x
trap 'rm -rf "$work"' EXIT

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

# Renders the SVG drawing on standard input (laid out in the frame's own pixels, given
# by its viewBox) at width x height into bitmap<id>.bmp, and at twice that into
# 2x/bitmap<id>.bmp, each with 256 colours.
svg8() { # id width height
    local id=$1 w=$2 h=$3 scale out
    cat >"$work/picture.svg"
    for scale in 1 2; do
        out=bitmap$id.bmp
        [ "$scale" = 2 ] && out=2x/$out
        rsvg-convert -w $((w * scale)) -h $((h * scale)) -b white "$work/picture.svg" -o "$work/picture.png"
        convert "$work/picture.png" -alpha off +dither -colors 256 -type Palette -compress None BMP3:"$out"
        check "$out" $((w * scale)) $((h * scale)) 8
    done
}

# The shared look: a soft gradient with a faint diagonal sheen, and the two fonts.
defs() { # from to
    cat <<EOF
<defs>
  <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="$1"/><stop offset="1" stop-color="$2"/>
  </linearGradient>
  <linearGradient id="sheen" x1="0" y1="0" x2="1" y2="1">
    <stop offset="0" stop-color="#ffffff" stop-opacity="0.18"/>
    <stop offset="1" stop-color="#000000" stop-opacity="0.10"/>
  </linearGradient>
  <filter id="shadow" x="-20%" y="-20%" width="140%" height="140%">
    <feGaussianBlur in="SourceAlpha" stdDeviation="3"/><feOffset dx="2" dy="3"/>
    <feComponentTransfer><feFuncA type="linear" slope="0.25"/></feComponentTransfer>
    <feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge>
  </filter>
</defs>
<rect width="100%" height="100%" fill="url(#sky)"/>
<rect width="100%" height="100%" fill="url(#sheen)"/>
EOF
}

# A folder at x,y of the given width: tab, back and front, in two shades.
folder() { # x y width back front
    local x=$1 y=$2 w=$3 back=$4 front=$5
    local h=$((w * 7 / 10)) tab=$((w * 2 / 5))
    cat <<EOF
<g filter="url(#shadow)">
  <path d="M$x,$((y + 8)) q0,-8 8,-8 h$((tab - 16)) l10,10 h$((w - tab - 2)) q8,0 8,8 v$((h - 10)) h-$w z" fill="$back"/>
  <rect x="$x" y="$((y + 18))" width="$w" height="$((h - 18))" rx="8" fill="$front"/>
</g>
EOF
}

# Splash: deep blue, the product name, a quiet emblem of two folders joined by an arrow.
# Drawn with every length times the scale (1, or 2 for the copy in 2x/).
splash() { # scale out
    local s=$1 out=$2
    convert -size $((520 * s))x$((317 * s)) gradient:'#16324f-#2c6e91' \
        -fill '#e8f1f5' -stroke none \
        -draw "roundrectangle $((44 * s)),$((48 * s)) $((124 * s)),$((108 * s)) $((8 * s)),$((8 * s))" \
        -fill '#16324f' -draw "rectangle $((44 * s)),$((48 * s)) $((76 * s)),$((58 * s))" \
        -fill '#f4a259' -draw "roundrectangle $((176 * s)),$((48 * s)) $((256 * s)),$((108 * s)) $((8 * s)),$((8 * s))" \
        -fill '#16324f' -draw "rectangle $((176 * s)),$((48 * s)) $((208 * s)),$((58 * s))" \
        -stroke '#e8f1f5' -strokewidth $((6 * s)) -draw "line $((134 * s)),$((78 * s)) $((154 * s)),$((78 * s))" \
        -fill '#e8f1f5' -stroke none \
        -draw "polygon $((152 * s)),$((68 * s)) $((166 * s)),$((78 * s)) $((152 * s)),$((88 * s))" \
        -fill white -font "$BOLD" -pointsize $((64 * s)) -annotate +$((40 * s))+$((194 * s)) 'Delvorin' \
        -fill '#bcd4e6' -font "$FONT" -pointsize $((18 * s)) -annotate +$((372 * s))+$((194 * s)) 'Version 1.2' \
        -fill '#e8f1f5' -font "$FONT" -pointsize $((17 * s)) -annotate +$((44 * s))+$((236 * s)) \
            'Binary patch files for whole folder trees' \
        -fill '#bcd4e6' -font "$FONT" -pointsize $((13 * s)) -annotate +$((44 * s))+$((284 * s)) \
            'Copyright (C) Quenmark. All rights reserved.' \
        +dither -colors 16 -type Palette -compress None BMP3:"$out"
    check "$out" $((520 * s)) $((317 * s)) 4
}
splash 1 bitmap102.bmp
splash 2 2x/bitmap102.bmp

# Main dialog: old folder, patch, new folder on a light sky.
svg8 130 538 318 <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 430 254" font-family="DejaVu Sans">
$(defs '#f7fbfc' '#bcd9e6')
<text x="215" y="44" text-anchor="middle" font-size="24" font-weight="bold" fill="#1d4f6b">Delvorin</text>
$(folder 30 86 100 '#7d8d98' '#9aa9b3')
<g filter="url(#shadow)">
  <rect x="180" y="72" width="72" height="100" rx="5" fill="#ffffff" stroke="#2c6e91" stroke-width="2"/>
  <path d="M194,96 h44 M194,114 h44 M194,132 h30 M194,150 h38" stroke="#2c6e91" stroke-width="4" stroke-linecap="round"/>
</g>
$(folder 300 86 100 '#1d4f6b' '#2c6e91')
<path d="M140,122 l22,0 m-8,-9 l10,9 l-10,9" stroke="#f4a259" stroke-width="6" fill="none" stroke-linecap="round" stroke-linejoin="round"/>
<path d="M266,122 l22,0 m-8,-9 l10,9 l-10,9" stroke="#f4a259" stroke-width="6" fill="none" stroke-linecap="round" stroke-linejoin="round"/>
<g font-size="15" fill="#1d4f6b" text-anchor="middle">
  <text x="80" y="206">Old files</text><text x="216" y="206">Patch</text><text x="350" y="206">New files</text>
</g>
</svg>
EOF

# Wizard, build or apply: three steps on a path.
svg8 135 340 493 <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 272 394" font-family="DejaVu Sans">
$(defs '#2c6e91' '#bcd9e6')
<text x="136" y="58" text-anchor="middle" font-size="28" font-weight="bold" fill="#ffffff">Wizard</text>
<path d="M70,310 C90,250 110,230 136,210 S190,150 200,120" stroke="#e8f1f5" stroke-width="6" fill="none" stroke-dasharray="2,12" stroke-linecap="round"/>
<g filter="url(#shadow)">
  <circle cx="70" cy="310" r="22" fill="#f4a259"/><circle cx="136" cy="210" r="20" fill="#e8f1f5"/>
  <circle cx="200" cy="120" r="20" fill="#e8f1f5"/>
</g>
<g font-size="20" font-weight="bold" fill="#1d4f6b" text-anchor="middle">
  <text x="70" y="317">1</text><text x="136" y="217">2</text><text x="200" y="127">3</text>
</g>
</svg>
EOF

# Wizard, patch file: a sheet with a seal; it stands for the patch to create and for
# the patch to apply alike.
svg8 137 340 493 <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 272 394" font-family="DejaVu Sans">
$(defs '#e8f1f5' '#6fa7c2')
<g filter="url(#shadow)">
  <path d="M66,70 h104 l36,36 v200 q0,8 -8,8 h-132 q-8,0 -8,-8 v-228 q0,-8 8,-8 z" fill="#ffffff" stroke="#1d4f6b" stroke-width="2.5"/>
  <path d="M170,70 v28 q0,8 8,8 h28" fill="#dbe9f0" stroke="#1d4f6b" stroke-width="2.5"/>
</g>
<path d="M84,132 h100 M84,160 h100 M84,188 h76 M84,216 h90" stroke="#6fa7c2" stroke-width="6" stroke-linecap="round"/>
<g filter="url(#shadow)"><circle cx="182" cy="290" r="34" fill="#f4a259"/></g>
<text x="182" y="297" text-anchor="middle" font-size="19" font-weight="bold" fill="#1d4f6b">dvp</text>
</svg>
EOF

# Success: a calm green check.
svg8 139 448 448 <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 358 358" font-family="DejaVu Sans">
$(defs '#f2f9f1' '#b7dfb0')
<g filter="url(#shadow)"><circle cx="179" cy="158" r="108" fill="#4c9a52"/></g>
<path d="M126,160 l38,40 l70,-80" stroke="#ffffff" stroke-width="20" fill="none" stroke-linecap="round" stroke-linejoin="round"/>
<text x="179" y="320" text-anchor="middle" font-size="26" font-weight="bold" fill="#2f6b34">Done</text>
</svg>
EOF

# Failure: a warm warning sign.
svg8 140 613 448 <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 490 358" font-family="DejaVu Sans">
$(defs '#fff7ec' '#f3cf9f')
<g filter="url(#shadow)">
  <path d="M245,44 q10,0 16,10 l116,200 q6,12 -6,20 q-4,2 -10,2 h-232 q-12,0 -16,-10 q-2,-6 2,-12 l116,-200 q6,-10 14,-10 z" fill="#e07b39"/>
</g>
<rect x="234" y="110" width="22" height="92" rx="9" fill="#ffffff"/>
<circle cx="245" cy="236" r="13" fill="#ffffff"/>
<text x="245" y="328" text-anchor="middle" font-size="28" font-weight="bold" fill="#8a4518">Whoops!</text>
</svg>
EOF

# Wizard, a folder of files: the new files folder of a build and the folder that an
# apply updates show the same picture, so it names neither.
svg8 141 340 493 <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 272 394" font-family="DejaVu Sans">
$(defs '#e8f1f5' '#2c6e91')
<g filter="url(#shadow)">
  <path d="M56,146 q0,-10 10,-10 h44 l14,14 h82 q10,0 10,10 v104 h-160 z" fill="#1d4f6b"/>
  <rect x="80" y="112" width="84" height="108" rx="4" fill="#ffffff" transform="rotate(-8 122 166)"/>
  <rect x="108" y="104" width="84" height="108" rx="4" fill="#f7fbfc" transform="rotate(6 150 158)"/>
  <rect x="56" y="170" width="160" height="104" rx="10" fill="#2c6e91"/>
</g>
<path d="M128,124 h40 M126,142 h44 M124,160 h30" stroke="#6fa7c2" stroke-width="5" stroke-linecap="round" transform="rotate(6 150 158)"/>
</svg>
EOF

# Wizard, old files folder.
svg8 142 340 493 <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 272 394" font-family="DejaVu Sans">
$(defs '#f1f3f4' '#8c9ba5')
$(folder 56 136 160 '#5f6f7a' '#9aa9b3')
<path d="M84,196 h104 M84,218 h104 M84,240 h74" stroke="#ffffff" stroke-width="6" stroke-linecap="round"/>
<text x="136" y="318" text-anchor="middle" font-size="22" font-weight="bold" fill="#2f3b43">Old files</text>
</svg>
EOF

# Application icon: a folder with an arrow.
# A diagonal shading over the gradient gives it plenty of colours before the reduction.
convert -size 32x32 gradient:'#2c6e91-#16324f' \
    \( -size 32x32 gradient:'#ffffff10-#00000018' -rotate 90 -resize 32x32! \) -compose over -composite \
    -fill '#f4a259' -draw "roundrectangle 5,10 26,25 2,2" -fill '#e8f1f5' -draw "polygon 12,13 22,17 12,21" \
    +dither -colors 256 -type Palette -compress None BMP3:icon128.bmp
check icon128.bmp 32 32 8

echo "pictures written"
