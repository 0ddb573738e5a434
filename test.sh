#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Xvfb.
set -euo pipefail
source "$(dirname "$0")/tools/common.sh"

install_packages
build_project
# The Windows exe for the suite's windows.* tests, which run it under Wine.
# SOLVANTER_SKIP_WINDOWS=1 skips both.
if [ "${SOLVANTER_SKIP_WINDOWS:-0}" != 1 ]; then
    source "$REPO_DIR/tools/windows.sh"
    windows_step "installing Wine" windows_install_packages "${WINDOWS_TEST_PACKAGES[@]}"
    windows_build
fi
"$REPO_DIR/resources/check_rc.sh"
cd "$BUILD_DIR"
xvfb ctest --output-on-failure -j "$(nproc)" "$@"
