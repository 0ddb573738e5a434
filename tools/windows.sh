# The 32-bit Windows cross-build, shared by tools/build-windows.sh and test.sh. Sourced after
# tools/common.sh, not run.

WINDOWS_BUILD_DIR="${WINDOWS_BUILD_DIR:-$REPO_DIR/build-windows}"
WINDOWS_PREFIX="$WINDOWS_BUILD_DIR/prefix"
WINDOWS_EXE="$WINDOWS_BUILD_DIR/launcher/bin/solvanter-launcher.exe"

# The posix thread model: JUCE needs std::thread. dpkg-dev unpacks the image libraries' sources.
WINDOWS_PACKAGES=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
                  libz-mingw-w64-dev dpkg-dev)
# Running the exe: Wine with its 32-bit half and the i386 Mesa GL libraries, without which JUCE's
# window crashes under Wine; icoutils reads the exe's resources back.
WINDOWS_TEST_PACKAGES=(wine wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386 icoutils)

windows_fail() {
    echo "Windows build: $*" >&2
    exit 1
}

# Runs one step and tells how long it took, so each step's time shows in CI.
windows_step() {
    local label=$1 start=$SECONDS
    shift
    "$@" || windows_fail "$label failed"
    echo "Windows build: $label took $((SECONDS - start)) s" >&2
}

windows_install_packages() {
    if [ "$#" -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386 \
        && [ "$(dpkg --print-architecture)" != i386 ]; then
        echo "Adding the i386 architecture for Wine's 32-bit half"
        as_root dpkg --add-architecture i386
        as_root apt-get update -qq
    fi
    install_packages "${WINDOWS_PACKAGES[@]}" "$@"
    local tool
    for tool in i686-w64-mingw32-gcc-posix i686-w64-mingw32-g++-posix i686-w64-mingw32-windres; do
        command -v "$tool" >/dev/null || windows_fail "$tool missing after installing the MinGW packages"
    done
}

# deb-src lines for the mirrors the system's own apt sources name (deb822 or one-line format).
windows_deb_src_lines() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && uris != "" && suites != "") {
                    n = split(suites, s, " ")
                    for (i = 1; i <= n; i++)
                        printf "deb-src %s%s %s %s\n", (signed != "" ? "[signed-by=" signed "] " : ""), uris, s[i], comps
                }
                types = uris = suites = comps = signed = ""
            }
            /^[ \t]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
            /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
            /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
            /^Components:/ { sub(/^Components:[ \t]*/, ""); comps = $0 }
            /^Signed-By:/ { sub(/^Signed-By:[ \t]*/, ""); signed = $0 }
            END { flush() }' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed -n 's/^[ \t]*deb[ \t]\+/deb-src /p' "$file"
    done
}

# Fetches a Debian source package through a private apt configuration under the build folder;
# the system's apt sources and lists stay untouched.
windows_apt_source() {
    local apt_dir="$WINDOWS_BUILD_DIR/apt" dest=$1
    shift
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
    windows_deb_src_lines >"$apt_dir/sources.list"
    [ -s "$apt_dir/sources.list" ] || { echo "no Debian mirror found in /etc/apt/sources*" >&2; return 1; }
    local opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
                -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
    apt-get "${opts[@]}" update -qq || return 1
    local pkg
    for pkg in "$@"; do
        (cd "$dest" && apt-get "${opts[@]}" source -qq "$pkg" >/dev/null 2>&1) && continue
        # Some mirrors serve no sources for their updates suites: take the release's own.
        echo "Windows build: no source of the newest $pkg; taking the release's" >&2
        head -1 "$apt_dir/sources.list" >"$apt_dir/release.list"
        opts[1]="Dir::Etc::SourceList=$apt_dir/release.list"
        rm -rf "$apt_dir/lists"
        mkdir -p "$apt_dir/lists/partial"
        apt-get "${opts[@]}" update -qq || return 1
        (cd "$dest" && apt-get "${opts[@]}" source -qq "$pkg" >/dev/null 2>&1) || return 1
    done
}

# libpng and libjpeg-turbo, static, for the target, from Debian's own sources.
windows_build_image_libs() {
    if [ -f "$WINDOWS_PREFIX/.done" ]; then
        return 0
    fi
    local src="$WINDOWS_BUILD_DIR/src"
    rm -rf "$src" "$WINDOWS_PREFIX"
    mkdir -p "$src"
    windows_apt_source "$src" libpng1.6 libjpeg-turbo || { echo "fetching the image libraries' sources failed" >&2; return 1; }

    local common=(-DCMAKE_TOOLCHAIN_FILE="$REPO_DIR/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
                  -DCMAKE_INSTALL_PREFIX="$WINDOWS_PREFIX" -DCMAKE_C_COMPILER_LAUNCHER=ccache
                  -DSOLVANTER_WINDOWS_PREFIX="$WINDOWS_PREFIX")
    local png jpeg
    png=$(find "$src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -1)
    jpeg=$(find "$src" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -1)
    [ -n "$png" ] && [ -n "$jpeg" ] || { echo "unpacked sources not found in $src" >&2; return 1; }

    cmake -S "$jpeg" -B "$src/jpeg-build" "${common[@]}" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null || return 1
    cmake --build "$src/jpeg-build" -j "$(nproc)" --target install >/dev/null || return 1
    # JUCE defines JPEG_INTERNALS, so jpeglib.h wants this internal header too.
    cp "$jpeg/jpegint.h" "$WINDOWS_PREFIX/include/" || return 1

    cmake -S "$png" -B "$src/png-build" "${common[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
        -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF >/dev/null || return 1
    cmake --build "$src/png-build" -j "$(nproc)" --target install >/dev/null || return 1

    touch "$WINDOWS_PREFIX/.done"
}

# The launcher's exe, with the same deployment values as the Linux build of this checkout.
windows_build_launcher() {
    export CCACHE_SLOPPINESS=time_macros
    export CCACHE_BASEDIR="$REPO_DIR"
    local tree="$WINDOWS_BUILD_DIR/launcher"
    # A failed build must never leave an older exe looking like its result.
    rm -f "$WINDOWS_EXE"
    cmake -S "$REPO_DIR" -B "$tree" \
        -DCMAKE_TOOLCHAIN_FILE="$REPO_DIR/cmake/mingw-i686.cmake" \
        -DSOLVANTER_WINDOWS_PREFIX="$WINDOWS_PREFIX" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
        -DSOLVANTER_API="http://127.0.0.1:$DEV_PORT" "$@" >/dev/null || return 1
    cmake --build "$tree" -j "$(nproc)" || return 1
    [ -f "$WINDOWS_EXE" ] || { echo "$WINDOWS_EXE was not produced" >&2; return 1; }
}

# Extra arguments go to CMake, e.g. -DSOLVANTER_API=https://api.example.org
windows_build() {
    windows_step "installing the MinGW toolchain" windows_install_packages
    windows_step "building libpng and libjpeg-turbo" windows_build_image_libs
    windows_step "building solvanter-launcher.exe" windows_build_launcher "$@"
}
