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

"$BUILD_DIR/bin/solvanter-dev-backend" --port "$DEV_PORT" --builds "$DEMO_DIR/builds" \
    --app-version 1.0.0 --app-archive solvanter-demo.zip >"$DEMO_DIR/backend.log" 2>&1 &
BACKEND_PID=$!
trap 'kill "$BACKEND_PID" 2>/dev/null || true; wait "$BACKEND_PID" 2>/dev/null || true' EXIT

for _ in $(seq 50); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$DEV_PORT") 2>/dev/null; then break; fi
    sleep 0.1
done

echo "Dev backend on http://127.0.0.1:$DEV_PORT, launcher in $DEMO_DIR/install"
status=0
if [ -n "${DISPLAY:-}" ]; then
    "$DEMO_DIR/install/solvanter-launcher" "$@" || status=$?
else
    echo "No display: running headless under Xvfb"
    xvfb "$DEMO_DIR/install/solvanter-launcher" --headless "$@" || status=$?
fi
echo "Launcher exited with $status; its log is ~/.config/Solvanter/launcher.log"
exit "$status"
