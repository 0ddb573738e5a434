#!/usr/bin/env bash
# Regenerates icon.ico and icon_small.ico from icon.png: 16-256 px, 32-bit BGRA, 256 px PNG-compressed.
# Usage: make_icons.sh [resources-dir]   (default: the folder of this script)
set -euo pipefail

dir=$(cd "${1:-$(dirname "$0")}" && pwd)
im=$(command -v magick || command -v convert) || { echo "$0: ImageMagick not found" >&2; exit 1; }
[ -f "$dir/icon.png" ] || { echo "$0: $dir/icon.png missing" >&2; exit 1; }

sizes=(256 128 64 48 32 24 16)

make_ico() {
    local out=$1 args=() s
    # Each size is scaled from the full image, not from the previous size, to keep edges crisp.
    for s in "${sizes[@]}"; do
        args+=( '(' -clone 0 -filter Lanczos -resize "${s}x${s}" ')' )
    done
    # TrueColorAlpha keeps every entry 32-bit even if a small one would fit a palette.
    "$im" "$dir/icon.png" -strip "${args[@]}" -delete 0 -type TrueColorAlpha \
        -define png:exclude-chunks=date,time "ICO:$out"
}

# Both groups carry the same artwork; the rc file gives each its own resource id.
make_ico "$dir/icon.ico"
make_ico "$dir/icon_small.ico"
identify "$dir/icon.ico" "$dir/icon_small.ico"
