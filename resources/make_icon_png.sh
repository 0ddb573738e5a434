#!/usr/bin/env bash
# Regenerates icon.png (256x256 RGBA): dark rounded tile, green open ring, light upward arrow.
# Usage: make_icon_png.sh [out.png]   (default: icon.png beside this script)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/icon.png}
im=$(command -v magick || command -v convert) || { echo "$0: ImageMagick not found" >&2; exit 1; }

dark='#1B1C1E' green='#00D397' light='#E9EAEF'

# Drawn at 4x and scaled down for smoother edges than direct anti-aliasing.
"$im" -size 1024x1024 xc:none \
    -fill "$dark" -stroke none -draw 'roundrectangle 24,24 999,999 200,200' \
    -fill none -stroke "$green" -strokewidth 64 -draw 'stroke-linecap round ellipse 512,528 270,270 310,590' \
    -stroke "$light" -strokewidth 60 -draw 'stroke-linecap round stroke-linejoin round path "M 512,650 L 512,290 M 426,376 L 512,290 L 598,376"' \
    -filter Lanczos -resize 256x256 \
    -strip -define png:color-type=6 -define png:bit-depth=8 \
    "PNG32:$out"
echo "$out"
