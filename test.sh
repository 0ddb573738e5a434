#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Xvfb.
set -euo pipefail
source "$(dirname "$0")/tools/common.sh"

install_packages
build_project
"$REPO_DIR/resources/check_rc.sh"
cd "$BUILD_DIR"
xvfb ctest --output-on-failure -j "$(nproc)" "$@"
