#!/usr/bin/env bash
# Each folder of the program includes only itself and the folders below it.
# Usage: check_layers.sh <source folder>
set -u
cd "$1" || exit 2
declare -A allowed=(
    [scripthost]="scripthost"
    [services]="services"
    [ui]="ui"
    [platform]="platform services scripthost"
    [engine]="engine platform services ui"
    [app]="app engine platform services ui"
)
failures=0
for folder in "${!allowed[@]}"; do
    while IFS= read -r line; do
        used=${line#*#include \"}
        used=${used%%/*}
        if [[ " ${allowed[$folder]} " != *" $used "* ]]; then
            echo "$folder reaches $used: $line"
            failures=$((failures + 1))
        fi
    done < <(grep -rnE '^#include "[a-z]+/' "$folder")
done
exit $((failures > 0))
