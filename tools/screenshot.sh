#!/usr/bin/env bash
# Screenshot of the launcher's window while it launches the application, taken under Xvfb
# against the standalone dev backend, written to docs/screenshot.png.
#
# Usage: tools/screenshot.sh [BUILD_DIR] [OUT_PNG]
#   BUILD_DIR  a build configured with -DSOLVANTER_API=http://127.0.0.1:18230 (default: build)
#   OUT_PNG    where the picture goes (default: docs/screenshot.png)
# Needs Xvfb, ImageMagick's import, zip, and port 18230 free.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs/screenshot.png}

launcher=$build/bin/solvanter-launcher
backend=$build/bin/solvanter-dev-backend
standin=$build/tests/standin/solvanter-standin-app
port=18230              # the launcher API base compiled into a dev build
screen_w=1280 screen_h=1024
window_w=514 window_h=140

fail() { echo "screenshot.sh: $*" >&2; exit 1; }
for file in "$launcher" "$backend" "$standin"; do
    [ -x "$file" ] || fail "missing $file (build the project first)"
done
command -v Xvfb >/dev/null || fail "Xvfb is not installed (apt-get install xvfb)"
command -v import >/dev/null || fail "ImageMagick's import is not installed (apt-get install imagemagick)"

work=$(mktemp -d)
pids=()
cleanup() {
    # Newest first: the launcher, then the backend, then the X server.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

wait_for() {  # wait_for SECONDS COMMAND...
    local tries=$(($1 * 10)); shift
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}

display=
for n in $(seq 90 160); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || fail "no free X display number"
Xvfb ":$display" -noreset -nolisten tcp -screen 0 "${screen_w}x${screen_h}x24" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 10 test -e "/tmp/.X11-unix/X$display" || fail "Xvfb did not start"

# The application archive: the stand-in opens its "Solvanter" window after a while, so the
# launcher shows "Launching Solvanter" long enough to be photographed.
mkdir -p "$work/builds" "$work/launcher" "$work/home"
"$root/tests/standin/make_app_zip.sh" "$standin" 1.0.0 "$work/builds/app.zip" \
    window_delay_ms=6000 lifetime_ms=10000 >/dev/null

"$backend" --port "$port" --builds "$work/builds" --app-version 1.0.0 --app-archive app.zip \
    --port-file "$work/port" >"$work/backend.log" 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/port" || fail "the dev backend did not start (is port $port in use?)"

cp "$launcher" "$work/launcher/"
cat >"$work/launcher/config.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES>
  <VALUE name="app_api" val="http://127.0.0.1:$port"/>
</PROPERTIES>
XML

DISPLAY=":$display" HOME="$work/home" "$work/launcher/solvanter-launcher" >"$work/launcher.log" 2>&1 &
pids+=($!)
# launcher.log, not the redirected standard output, which reaches the file only when flushed.
wait_for 30 grep -qs "Launching Solvanter" "$work/home/.config/Solvanter/launcher.log" || {
    cat "$work/launcher.log" >&2
    fail "the launcher did not reach \"Launching Solvanter\""
}
sleep 1

# The window opens centred on the screen.
mkdir -p "$(dirname "$out")"
DISPLAY=":$display" import -window root \
    -crop "${window_w}x${window_h}+$(((screen_w - window_w) / 2))+$(((screen_h - window_h) / 2))" +repage "$out"
echo "$out"
