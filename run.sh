#!/usr/bin/env bash
# Installs what is missing, builds, and runs the launcher's main job against the local dev backend,
# which serves a demo build of the application (the stand-in used by the tests).
# Extra arguments go to the launcher, e.g. ./run.sh --headless
set -euo pipefail
source "$(dirname "$0")/tools/common.sh"

install_packages
build_project

DEMO_DIR="$BUILD_DIR/demo"
rm -rf "$DEMO_DIR"
mkdir -p "$DEMO_DIR/install" "$DEMO_DIR/builds"

# The demo application opens a window titled "Solvanter" and closes itself after a while.
"$REPO_DIR/tests/standin/make_app_zip.sh" "$BUILD_DIR/tests/standin/solvanter-standin-app" 1.0.0 \
    "$DEMO_DIR/builds/solvanter-demo.zip" lifetime_ms=15000 >/dev/null
cp "$BUILD_DIR/bin/solvanter-launcher" "$DEMO_DIR/install/"
if [ -x "$BUILD_DIR/bin/solvanter-script-host" ]; then
    cp "$BUILD_DIR/bin/solvanter-script-host" "$DEMO_DIR/install/"
fi

BACKEND_PID=
trap '[ -z "$BACKEND_PID" ] || { kill "$BACKEND_PID" 2>/dev/null; wait "$BACKEND_PID" 2>/dev/null; } || true' EXIT
start_dev_backend "$DEMO_DIR/backend.log" --builds "$DEMO_DIR/builds" \
    --app-version 1.0.0 --app-archive solvanter-demo.zip || exit 1

echo "Dev backend on http://127.0.0.1:$DEV_PORT, launcher in $DEMO_DIR/install"
status=0
if [ -n "${DISPLAY:-}" ]; then
    "$DEMO_DIR/install/solvanter-launcher" "$@" || status=$?
else
    echo "No display: running headless under Xvfb"
    # Headless, so that a failed run ends; once, whether or not the arguments hold it already.
    args=(--headless)
    for arg in "$@"; do
        case "$arg" in --headless | --headless=*) args=() ;; esac
    done
    xvfb "$DEMO_DIR/install/solvanter-launcher" "${args[@]}" "$@" || status=$?
fi
echo "Launcher exited with $status; its log is ~/.config/Solvanter/launcher.log"
exit "$status"
