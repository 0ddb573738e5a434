#!/usr/bin/env bash
# Packs the stand-in as the application archive the launcher downloads and installs.
# Usage: make_app_zip.sh <standin-binary> <version> <out.zip> [key=value ...]
# The archive holds Solvanter/Solvanter.exe (0755), Solvanter/version.txt and,
# when key=value pairs are given, Solvanter/standin.conf with one pair per line.
set -euo pipefail

if [ $# -lt 3 ]; then
    echo "usage: $0 <standin-binary> <version> <out.zip> [key=value ...]" >&2
    exit 2
fi
binary=$1 version=$2 out=$3
shift 3

[ -f "$binary" ] || { echo "$0: no such binary: $binary" >&2; exit 2; }
[ -n "$version" ] || { echo "$0: empty version" >&2; exit 2; }
for pair in "$@"; do
    case $pair in
        ?*=*) ;;
        *) echo "$0: not key=value: $pair" >&2; exit 2 ;;
    esac
done

out_dir=$(cd "$(dirname "$out")" 2>/dev/null && pwd) || { echo "$0: no folder for $out" >&2; exit 2; }
out=$out_dir/$(basename "$out")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/Solvanter"
install -m 0755 "$binary" "$stage/Solvanter/Solvanter.exe"
# No trailing newline: readers comparing the text exactly still match.
printf '%s' "$version" > "$stage/Solvanter/version.txt"
if [ $# -gt 0 ]; then
    printf '%s\n' "$@" > "$stage/Solvanter/standin.conf"
fi

# zip would merge into an existing archive, so start from scratch.
rm -f "$out"
(cd "$stage" && zip -q -r -X "$out" Solvanter)
echo "$out"
