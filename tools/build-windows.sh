#!/usr/bin/env bash
# Builds the 32-bit Windows launcher, build-windows/launcher/bin/solvanter-launcher.exe, with
# MinGW-w64 on Debian: installs what is missing, builds libpng and libjpeg-turbo for the target
# from Debian's sources, then the exe. Extra arguments go to CMake, e.g.
#   tools/build-windows.sh -DSOLVANTER_API=https://api.example.org
set -euo pipefail
source "$(dirname "$0")/common.sh"
source "$REPO_DIR/tools/windows.sh"

install_packages
windows_build "$@"
echo "Built $WINDOWS_EXE"
