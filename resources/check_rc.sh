#!/usr/bin/env bash
# Compiles launcher.rc with windres and checks the resources that come out of it.
# Usage: check_rc.sh            (any working directory; WINDRES overrides the compiler)
set -euo pipefail

cd "$(dirname "$0")"
windres=${WINDRES:-i686-w64-mingw32-windres}
command -v "$windres" >/dev/null || { echo "$0: $windres not found (binutils-mingw-w64-i686)" >&2; exit 1; }

# windres only knows the MinGW gcc as preprocessor; without it, use the host's.
pp_args=()
if ! command -v "${windres%windres}gcc" >/dev/null; then
    host_cc=$(command -v gcc || command -v cc) || { echo "$0: no C preprocessor found" >&2; exit 1; }
    pp_args=(--preprocessor="$host_cc" --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED)
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! "$windres" "${pp_args[@]}" launcher.rc -O coff -o "$tmp/launcher.res"; then
    echo "$0: windres failed on launcher.rc" >&2
    exit 1
fi

# Decompile to catch a resource that compiled but came out wrong (e.g. a name left as a string id).
"$windres" -J coff -i "$tmp/launcher.res" -O rc > "$tmp/decompiled.rc"
failed=0
expect() {
    local what=$1 pattern=$2 count=${3:-1} n
    n=$(grep -cE "$pattern" "$tmp/decompiled.rc" || true)
    if [ "$n" -ne "$count" ]; then
        echo "FAIL: $what: expected $count, found $n" >&2
        failed=1
    fi
}
expect "icon group IDI_ICON1" '^"IDI_ICON1" 14 '
expect "icon group IDI_ICON2" '^"IDI_ICON2" 14 '
expect "icon images (7 sizes x 2 groups)" '^[0-9]+ 3 /\* RT_ICON \*/' 14
expect "version info with id 1" '^1 VERSIONINFO'
expect "file version" '^ FILEVERSION 2, 9, 24, 0$'
expect "product version" '^ PRODUCTVERSION 2, 9, 24, 0$'
expect "string table 040904B0" 'BLOCK "040904B0"'
expect "CompanyName" 'VALUE "CompanyName", "Solvanter"$'
expect "FileDescription" 'VALUE "FileDescription", "Solvanter Launcher"$'
expect "FileVersion" 'VALUE "FileVersion", "2.9.24"$'
expect "InternalName" 'VALUE "InternalName", "Solvanter-launcher"$'
expect "OriginalFilename" 'VALUE "OriginalFilename", "Solvanter Launcher.exe"$'
expect "ProductName" 'VALUE "ProductName", "Solvanter Launcher"$'
expect "ProductVersion" 'VALUE "ProductVersion", "2.9.24"$'
expect "translation" 'VALUE "Translation", 0x409, 1200$'
expect "manifest with id 1" '^1 24 /\* RT_MANIFEST \*/'

# The ICO directory: a 6-byte header with the image count, then 16 bytes per image whose first
# two bytes are its width and height (0 meaning 256) and whose bytes 6-7 are its bits per pixel.
ico_sizes() {
    local count i w h bpp
    count=$(od -An -tu2 -j4 -N2 "$1" | tr -d ' ')
    for ((i = 0; i < count; i++)); do
        read -r w h < <(od -An -tu1 -j$((6 + 16 * i)) -N2 "$1")
        bpp=$(od -An -tu2 -j$((6 + 16 * i + 6)) -N2 "$1" | tr -d ' ')
        echo "$(( w == 0 ? 256 : w ))x$(( h == 0 ? 256 : h ))x$bpp"
    done
}
for ico in icon.ico icon_small.ico; do
    sizes=$(ico_sizes "$ico")
    for s in 16 24 32 48 64 128 256; do
        grep -qx "${s}x${s}x32" <<<"$sizes" || { echo "FAIL: $ico lacks a 32-bit ${s}x${s} image" >&2; failed=1; }
    done
done
grep -q 'requestedExecutionLevel level="asInvoker" uiAccess="false"' launcher.manifest \
    || { echo "FAIL: manifest execution level" >&2; failed=1; }
grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' launcher.manifest \
    || { echo "FAIL: manifest common controls dependency" >&2; failed=1; }

[ "$failed" -eq 0 ] || exit 1
echo "launcher.rc compiles and holds the expected resources"
