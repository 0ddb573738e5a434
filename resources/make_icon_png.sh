#!/usr/bin/env bash
# Regenerates icon.png (256x256 RGBA): dark rounded tile, green open ring, light upward arrow.
# Usage: make_icon_png.sh [out.png]   (default: icon.png beside this script)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/icon.png}
im=$(command -v magick || command -v convert) || { echo "$0: ImageMagick not found" >&2; exit 1; }

dark='#1B1C1E' green='#00D397' light='#E9EAEF'

# ImageMagick 6 closes stroked arcs with a chord, so the open ring is a polyline.
# Angles run clockwise from east; the gap is centred on the top (270 degrees).
ring=$(awk 'BEGIN { for (a = 310; a <= 590; a += 2) {
    r = a * atan2(0, -1) / 180; printf "%.1f,%.1f ", 512 + 270 * cos(r), 496 + 270 * sin(r) } }')

# Drawn at 4x and scaled down for smoother edges than direct anti-aliasing.
"$im" -size 1024x1024 xc:none \
    -fill "$dark" -stroke none -draw 'roundrectangle 24,24 999,999 200,200' \
    -fill none -stroke "$green" -strokewidth 64 \
    -draw "stroke-linecap round stroke-linejoin round polyline $ring" \
    -stroke "$light" -strokewidth 60 \
    -draw 'stroke-linecap round stroke-linejoin round polyline 426,344 512,258 598,344' \
    -draw 'stroke-linecap round line 512,268 512,618' \
    -filter Lanczos -resize 256x256 \
    -strip -define png:color-type=6 -define png:bit-depth=8 \
    "PNG32:$out"
echo "$out"
