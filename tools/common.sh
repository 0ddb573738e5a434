# Shared by run.sh, test.sh and the benchmark: install what is missing, then build.
# Sourced, not run.

REPO_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$REPO_DIR/build}"
# The dev backend listens here; the build points its launcher API at it.
DEV_PORT="${DEV_PORT:-18230}"

PACKAGES=(build-essential cmake pkg-config ccache libgtest-dev libx11-dev libxrandr-dev
          libxinerama-dev libxcursor-dev libfreetype-dev libcurl4-gnutls-dev libpng-dev
          libjpeg-dev libcpp-httplib-dev fonts-open-sans xvfb xauth x11-utils zip unzip
          binutils-mingw-w64-i686)
# Its hard dependencies are large but harmless; its recommendations are not needed.
PACKAGES_NO_RECOMMENDS=(juce-modules-source)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            echo "$pkg"
        fi
    done
}

install_packages() {
    local missing missing_nr
    missing=$(missing_packages "${PACKAGES[@]}" "$@")
    missing_nr=$(missing_packages "${PACKAGES_NO_RECOMMENDS[@]}")
    if [ -z "$missing" ] && [ -z "$missing_nr" ]; then
        return 0
    fi
    echo "Installing Debian packages:" $missing $missing_nr
    export DEBIAN_FRONTEND=noninteractive
    as_root apt-get update -qq
    if [ -n "$missing" ]; then
        as_root apt-get install -y -qq $missing >/dev/null
    fi
    if [ -n "$missing_nr" ]; then
        as_root apt-get install -y -qq --no-install-recommends $missing_nr >/dev/null
    fi
}

build_project() {
    export CCACHE_SLOPPINESS=time_macros
    export CCACHE_BASEDIR="$REPO_DIR"
    cmake -S "$REPO_DIR" -B "$BUILD_DIR" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
        -DSOLVANTER_API="http://127.0.0.1:$DEV_PORT" >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}

# Starts the dev backend on 127.0.0.1:$DEV_PORT, with the given log file and further arguments,
# and waits until it listens itself: another server already on the port would otherwise answer in
# its place. Sets BACKEND_PID; fails with a message when the backend cannot listen.
start_dev_backend() {
    local log=$1; shift
    local port_file="$log.port"
    rm -f "$port_file"
    "$BUILD_DIR/bin/solvanter-dev-backend" --port "$DEV_PORT" --port-file "$port_file" "$@" >"$log" 2>&1 &
    BACKEND_PID=$!
    # The backend writes the port file once it listens, and ends when it cannot.
    while [ ! -s "$port_file" ]; do
        if ! kill -0 "$BACKEND_PID" 2>/dev/null; then
            wait "$BACKEND_PID" 2>/dev/null || true
            BACKEND_PID=
            echo "The dev backend could not listen on 127.0.0.1:$DEV_PORT ($(tail -n 1 "$log"))." >&2
            echo "Another program holds the port: stop it, or build and run on another one with DEV_PORT=<port>." >&2
            return 1
        fi
        sleep 0.1
    done
}

xvfb() {
    xvfb-run -a -s "-noreset -screen 0 1280x1024x24" "$@"
}
