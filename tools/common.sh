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

xvfb() {
    xvfb-run -a -s "-noreset -screen 0 1280x1024x24" "$@"
}
