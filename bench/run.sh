#!/usr/bin/env bash
# Benchmark of the launcher against the local dev backend, on this machine. Prints figures and
# judges nothing.
#
# Usage: bench/run.sh [--smoke] [--runs N] [--sizes "MB MB ..."] [--cpu-seconds S] [--no-build]
#   --smoke        quick pass: one archive of about 2 MB, one run each, 2 s of CPU sampling
#   --runs N       runs per figure, the median is printed (default 3)
#   --sizes LIST   archive sizes in whole MB (default "50 500")
#   --cpu-seconds  length of the CPU sampling while the launcher waits (default 10)
#   --no-build     use the existing build as it is
#
# Uses the build in $BUILD_DIR (default build/), building it first (tools/common.sh). Runs
# everything under its own Xvfb display, with the dev backend on 127.0.0.1:$DEV_PORT (default
# 18230, the address compiled into the launcher). Work files go to a temporary folder that is
# removed at the end; the printed report is also kept in bench/out/last-run.txt.
#
# What it measures:
# 1. Download and install of generated application archives: the launcher's own steps
#    (download_build, then install_app, timed by bench/bench_driver.cpp) against
#    `curl -s -o` of the same URL followed by `unzip -q -o` into an empty folder.
# 2. Peak RSS (/usr/bin/time -v) of the real launcher binary doing a headless install of each
#    archive, against the archive's size (the design holds the archive in memory twice); and of
#    its refusal of an archive of 100 link entries with 64 KB names, and of one of 1,500 entries
#    whose 64 KB names stand in the directory alone (names and nothing else).
# 3. The launcher's CPU use while it waits for an open application window to close, with its
#    window shown and headless (utime + stime from /proc/<pid>/stat).
# 4. Start to quit of an up-to-date headless run, and the part of it that is fixed waits.
# 5. The install's layout check against its unzip, for an archive of deep paths (10 entries x
#    2,000 folders) and one of 50,000 small entries (bench/layout_driver.cpp), with
#    `unzip -q -o` of the same archive beside.
# 6. Start to quit of `--write-config-and-quit` with a config.xml of the eight keys and with one of
#    12,000 further keys (the most that fit the 512 KiB the launcher reads), which it loads and
#    writes back.
# 7. A stop during a reply's handling: seconds from SIGTERM, sent once the error line of a 500 is
#    logged (its text is logged next), to the launcher's exit, for a reply of 300,000 line breaks
#    and one of 1 MB of arrays 61 levels deep (tens of megabytes as indented text).
set -euo pipefail
export LC_ALL=C

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../tools/common.sh
source "$BENCH_DIR/../tools/common.sh"

smoke=0
runs=3
sizes="50 500"
cpu_seconds=10
startup_runs=5
build=1
original_args=("$@")
while [ $# -gt 0 ]; do
    case $1 in
        --smoke) smoke=1 ;;
        --runs) runs=$2; shift ;;
        --sizes) sizes=$2; shift ;;
        --cpu-seconds) cpu_seconds=$2; shift ;;
        --no-build) build=0 ;;
        -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "bench/run.sh: unknown option: $1 (see --help)" >&2; exit 2 ;;
    esac
    shift
done
if [ "$smoke" = 1 ]; then
    runs=1 sizes=2 cpu_seconds=2 startup_runs=1
fi
for n in "$runs" "$cpu_seconds" $sizes; do
    case $n in
        ''|*[!0-9]*|0) echo "bench/run.sh: not a whole number above 0: '$n'" >&2; exit 2 ;;
    esac
done
if [ "$runs" -gt "$startup_runs" ]; then
    startup_runs=$runs
fi

# Phase 1: packages, build, then the same script again under a private X display.
if [ -z "${SOLVANTER_BENCH_DISPLAY:-}" ]; then
    install_packages time curl
    if [ "$build" = 1 ]; then
        build_project
    fi
    export SOLVANTER_BENCH_DISPLAY=1 BUILD_DIR DEV_PORT
    exec xvfb-run -a -s "-noreset -screen 0 1280x1024x24" bash "$0" "${original_args[@]}" --no-build
fi

LAUNCHER="$BUILD_DIR/bin/solvanter-launcher"
BACKEND="$BUILD_DIR/bin/solvanter-dev-backend"
STANDIN="$BUILD_DIR/tests/standin/solvanter-standin-app"
DRIVER="$BUILD_DIR/bench/solvanter-bench-driver"
TREE="$BUILD_DIR/bench/solvanter-bench-tree"
LAYOUT="$BUILD_DIR/bench/solvanter-bench-layout"
for f in "$LAUNCHER" "$BACKEND" "$STANDIN" "$DRIVER" "$TREE" "$LAYOUT"; do
    [ -x "$f" ] || { echo "bench/run.sh: missing $f (build first)" >&2; exit 1; }
done
if ! grep -qa "http://127.0.0.1:$DEV_PORT" "$LAUNCHER"; then
    echo "bench/run.sh: $LAUNCHER was not built for the dev backend on port $DEV_PORT" >&2
    exit 1
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/solvanter-bench.XXXXXX")
BACKEND_PID=""
WINDOW_PID=""

# Every program the benchmark runs, except the backend, runs from a copy inside $WORK, so the
# processes to end are exactly those whose executable lies there.
pids_under() {
    local exe pid
    for exe in /proc/[0-9]*/exe; do
        pid=${exe#/proc/}
        pid=${pid%/exe}
        case $(readlink "$exe" 2>/dev/null) in
            "$1"/*) echo "$pid" ;;
        esac
    done
}

end_processes_under() {
    local pid pids
    pids=$(pids_under "$1")
    [ -n "$pids" ] || return 0
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for _ in $(seq 50); do
        [ -z "$(pids_under "$1")" ] && return 0
        sleep 0.1
    done
    for pid in $(pids_under "$1"); do kill -9 "$pid" 2>/dev/null || true; done
}

cleanup() {
    end_processes_under "$WORK"
    if [ -n "$BACKEND_PID" ]; then
        kill "$BACKEND_PID" 2>/dev/null || true
        wait "$BACKEND_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "bench/run.sh: $*" >&2
    exit 1
}

# --- small helpers ------------------------------------------------------------------------

calc() { awk "BEGIN { printf \"%.6f\", $* }"; }
fmt() { awk -v v="$1" -v d="${2:-2}" 'BEGIN { printf "%.*f", d, v }'; }
elapsed() { calc "$2 - $1"; }

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Value of key=value in a file.
value_of() { sed -n "s/^$2=//p" "$1" | head -n1; }

mb_of_bytes() { calc "$1 / 1048576"; }

APP_VERSION=1.0.0

wait_for_file() {
    local file=$1 tries=$(( ${2:-10} * 10 ))
    for _ in $(seq "$tries"); do
        [ -s "$file" ] && return 0
        sleep 0.1
    done
    return 1
}

wait_for_line() {
    local file=$1 text=$2 tries=$(( ${3:-30} * 10 ))
    for _ in $(seq "$tries"); do
        grep -qF -- "$text" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# utime + stime of a process, in clock ticks.
cpu_ticks() {
    local line rest
    read -r line < "/proc/$1/stat" || return 1
    rest=${line##*) }
    # shellcheck disable=SC2086
    set -- $rest
    echo $(( ${12} + ${13} ))
}

# One backend serves the whole run: other programs on this machine may want the same port, so
# it is taken once. It offers APP_VERSION and serves builds/app.zip, which each phase replaces.
start_backend() {
    mkdir -p "$WORK/builds"
    for _ in $(seq 20); do
        start_dev_backend "$WORK/backend.log" --builds "$WORK/builds" --app-version "$APP_VERSION" \
            --app-archive app.zip 2>/dev/null && return 0
        sleep 1
    done
    tail -n 1 "$WORK/backend.log" >&2
    fail "the dev backend could not listen on 127.0.0.1:$DEV_PORT (in use?)"
}

stop_backend() {
    [ -n "$BACKEND_PID" ] || return 0
    kill "$BACKEND_PID" 2>/dev/null || true
    wait "$BACKEND_PID" 2>/dev/null || true
    BACKEND_PID=""
}

serve_archive() { ln -f "$1" "$WORK/builds/app.zip"; }

# A folder holding a copy of the launcher, with $HOME (and so launcher.log) inside it.
launcher_folder() {
    mkdir -p "$1/home"
    cp "$LAUNCHER" "$1/"
}

launcher_log() { echo "$1/home/.config/Solvanter/launcher.log"; }

# The application the launcher started keeps running after the launcher has quit.
end_launched_app() { end_processes_under "$1"; }

# --- the archives ---------------------------------------------------------------------------

# Writes $WORK/builds/app-<mb>.zip: Solvanter/ with the stand-in as Solvanter.exe, version.txt,
# a standin.conf that makes the started application leave by itself, and the generated mix.
make_archive() {
    local mb=$1 tree="$WORK/tree-$1"
    mkdir -p "$tree" "$WORK/builds"
    "$TREE" "$tree" "$mb"
    install -m 0755 "$STANDIN" "$tree/Solvanter/Solvanter.exe"
    printf '%s' "$APP_VERSION" > "$tree/Solvanter/version.txt"
    printf 'lifetime_ms=5000\n' > "$tree/Solvanter/standin.conf"
    (cd "$tree" && zip -q -r -X "$WORK/builds/app-$mb.zip" Solvanter)
    rm -rf "$tree"
}

# --- 1 and 2: download and install ----------------------------------------------------------

declare -A R   # results by name

driver_run() {
    local mb=$1 run=$2 dir="$WORK/driver-$1-$2"
    mkdir -p "$dir"
    cp "$DRIVER" "$dir/"
    sync
    "$dir/solvanter-bench-driver" --launcher-api "http://127.0.0.1:$DEV_PORT/launcher/Windows" \
        --version "$APP_VERSION" --result "$dir/result.txt" >"$dir/output.log" 2>&1 \
        || { tail -n 5 "$dir/output.log" >&2; fail "driver run failed: $(value_of "$dir/result.txt" result)"; }
    DRV_DOWNLOAD+=("$(value_of "$dir/result.txt" download_seconds)")
    DRV_INSTALL+=("$(value_of "$dir/result.txt" install_seconds)")
    DRV_RSS+=("$(value_of "$dir/result.txt" max_rss_kb)")
    DRV_LOOP+=("$(tr '\r' '\n' < "$dir/output.log" | sed -n 's/.*Download finished in \([0-9.]*\) seconds.*/\1/p')")
}

baseline_run() {
    local mb=$1 run=$2 dir="$WORK/curl-$1-$2" t0 t1 t2
    mkdir -p "$dir/out"
    sync
    t0=$EPOCHREALTIME
    curl -s -f -o "$dir/app.zip" -w '%{time_starttransfer}' "http://127.0.0.1:$DEV_PORT/builds/app.zip" \
        >"$dir/first-byte.txt" || fail "curl failed"
    t1=$EPOCHREALTIME
    unzip -q -o "$dir/app.zip" -d "$dir/out" || fail "unzip failed"
    t2=$EPOCHREALTIME
    BASE_CURL+=("$(elapsed "$t0" "$t1")")
    BASE_UNZIP+=("$(elapsed "$t1" "$t2")")
    BASE_FIRST+=("$(cat "$dir/first-byte.txt")")
}

# The real launcher installs the archive headless, under /usr/bin/time -v.
launcher_install_run() {
    local mb=$1 run=$2 dir="$WORK/launcher-$1-$2" log status=0
    launcher_folder "$dir"
    sync
    HOME="$dir/home" /usr/bin/time -v -o "$dir/time.txt" timeout 600 "$dir/solvanter-launcher" --headless \
        >"$dir/output.log" 2>&1 || status=$?
    end_launched_app "$dir"
    log=$(launcher_log "$dir")
    [ "$status" = 0 ] && grep -q "App process found" "$log" \
        || { tail -n 8 "$log" >&2; fail "launcher install run failed (status $status)"; }
    LAU_RSS+=("$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt")")
    LAU_DOWNLOAD+=("$(sed -n 's/.*Download finished in \([0-9.]*\) seconds.*/\1/p' "$log")")
    LAU_UNZIP+=("$(sed -n 's/.*Unzipping [0-9]* files finished in \([0-9.]*\) seconds.*/\1/p' "$log")")
    LAU_ENTRIES=$(sed -n 's/.*Unzipping \([0-9]*\) files finished.*/\1/p' "$log")
}

# The same archive with its end record's directory offset set to 0: the framework would copy all
# from there to the end before reading an entry. The launcher must refuse it without that copy.
misplaced_directory_run() {
    local mb=$1 dir="$WORK/misplaced-$1" archive="$WORK/builds/misplaced-$1.zip" size status=0
    cp "$WORK/builds/app-$mb.zip" "$archive"
    size=$(stat -c %s "$archive")
    # The offset is the end record's bytes 16 to 19; zip -X writes no comment after the record.
    printf '\0\0\0\0' | dd of="$archive" bs=1 seek=$((size - 6)) conv=notrunc status=none
    serve_archive "$archive"
    launcher_folder "$dir"
    HOME="$dir/home" /usr/bin/time -v -o "$dir/time.txt" timeout 600 "$dir/solvanter-launcher" --headless \
        >"$dir/output.log" 2>&1 || status=$?
    grep -q "Failed to unzip downloaded build" "$(launcher_log "$dir")" && [ "$status" = 1 ] \
        || { tail -n 8 "$(launcher_log "$dir")" >&2; fail "the misplaced directory was not refused (status $status)"; }
    R[$mb.misplaced_rss]=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt")
    serve_archive "$WORK/builds/app-$mb.zip"
}

# An archive made by bench/layout_driver.cpp that the launcher refuses as longer than the OS takes:
# the headless run's peak memory against the archive's size. Sets R[<key>.bytes], R[<key>.rss] and
# the driver's figures; the archive is removed afterwards.
measure_refused_archive() {
    local kind=$1 key=$2 what=$3 dir="$WORK/$2" status=0
    echo "-- an archive of $what" >&2
    mkdir -p "$dir/driver"
    "$LAYOUT" --kind "$kind" --folder "$dir/driver" --result "$dir/r.txt" --save "$WORK/builds/$key.zip" \
        >"$dir/driver.log" 2>&1 || status=$?
    [ "$status" = 1 ] && [ -f "$WORK/builds/$key.zip" ] || fail "the archive of $what was not made (status $status)"
    R[$key.bytes]=$(stat -c %s "$WORK/builds/$key.zip")
    R[$key.check]=$(value_of "$dir/r.txt" check_seconds)
    R[$key.entries]=$(value_of "$dir/r.txt" entries)
    serve_archive "$WORK/builds/$key.zip"
    launcher_folder "$dir"
    status=0
    HOME="$dir/home" /usr/bin/time -v -o "$dir/time.txt" timeout 600 "$dir/solvanter-launcher" --headless \
        >"$dir/output.log" 2>&1 || status=$?
    grep -q "is too long a path for the OS" "$(launcher_log "$dir")" && [ "$status" = 1 ] \
        || { tail -c 600 "$(launcher_log "$dir")" >&2; fail "the $what were not refused (status $status)"; }
    R[$key.rss]=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$dir/time.txt")
    rm -f "$WORK/builds/$key.zip"
}

# 100 link entries with 64 KB names (--kind links), and 1,500 empty entries whose 64 KB names
# stand in the directory alone (--kind names).
measure_long_links() { measure_refused_archive links links "link entries with 64 KB names"; }
measure_names_only() { measure_refused_archive names names "64 KB names alone"; }

measure_size() {
    local mb=$1 archive bytes run
    echo "-- archive of about $mb MB: generating" >&2
    make_archive "$mb"
    archive="$WORK/builds/app-$mb.zip"
    bytes=$(stat -c %s "$archive")
    serve_archive "$archive"
    # One request first, so every measured one finds the file in the page cache.
    curl -s -f -o /dev/null "http://127.0.0.1:$DEV_PORT/builds/app.zip"

    DRV_DOWNLOAD=() DRV_INSTALL=() DRV_RSS=() DRV_LOOP=() BASE_CURL=() BASE_UNZIP=() BASE_FIRST=()
    LAU_RSS=() LAU_DOWNLOAD=() LAU_UNZIP=() LAU_ENTRIES=0
    for run in $(seq "$runs"); do
        echo "-- archive of about $mb MB: run $run of $runs" >&2
        driver_run "$mb" "$run"
        baseline_run "$mb" "$run"
        launcher_install_run "$mb" "$run"
    done

    R[$mb.bytes]=$bytes
    R[$mb.entries]=$LAU_ENTRIES
    R[$mb.drv_download]=$(median "${DRV_DOWNLOAD[@]}")
    R[$mb.drv_install]=$(median "${DRV_INSTALL[@]}")
    local totals=() i
    for i in "${!DRV_DOWNLOAD[@]}"; do totals+=("$(calc "${DRV_DOWNLOAD[$i]} + ${DRV_INSTALL[$i]}")"); done
    R[$mb.drv_total]=$(median "${totals[@]}")
    R[$mb.drv_rss]=$(median "${DRV_RSS[@]}")
    R[$mb.drv_loop]=$(median "${DRV_LOOP[@]}")
    R[$mb.first_byte]=$(median "${BASE_FIRST[@]}")
    R[$mb.curl]=$(median "${BASE_CURL[@]}")
    R[$mb.unzip]=$(median "${BASE_UNZIP[@]}")
    totals=()
    for i in "${!BASE_CURL[@]}"; do totals+=("$(calc "${BASE_CURL[$i]} + ${BASE_UNZIP[$i]}")"); done
    R[$mb.base_total]=$(median "${totals[@]}")
    R[$mb.lau_rss]=$(median "${LAU_RSS[@]}")
    R[$mb.lau_download]=$(median "${LAU_DOWNLOAD[@]}")
    R[$mb.lau_unzip]=$(median "${LAU_UNZIP[@]}")
    misplaced_directory_run "$mb"
}

# --- 3 and 4: waiting and start to quit -----------------------------------------------------

# A launcher folder with the application installed at the version the backend offers.
installed_folder() {
    local dir=$1
    launcher_folder "$dir"
    unzip -q "$WORK/builds/small.zip" -d "$dir"
}

# Percent of one core used by the launcher while it waits for the application's window to close.
wait_cost() {
    local mode=$1 dir="$WORK/wait-$1" args=() pid xpid="" t0 t1 c0 c1 x0=0 x1=0
    [ "$mode" = headless ] && args=(--headless)
    installed_folder "$dir"

    mkdir -p "$WORK/window"
    cp "$STANDIN" "$WORK/window/"
    rm -f "$WORK/window/ready"
    STANDIN_TITLE=Solvanter STANDIN_READY_FILE="$WORK/window/ready" "$WORK/window/solvanter-standin-app" \
        >"$WORK/window/output.log" 2>&1 &
    WINDOW_PID=$!
    wait_for_file "$WORK/window/ready" 10 || fail "the application window did not open"

    HOME="$dir/home" "$dir/solvanter-launcher" "${args[@]}" >"$dir/output.log" 2>&1 &
    pid=$!
    wait_for_line "$(launcher_log "$dir")" "Solvanter app is running, waiting for app to be closed" 30 \
        || fail "the launcher ($mode) did not start waiting for the application"
    # Let the window and the spinner settle first.
    sleep 1

    # The X server paints what the launcher sends it; its share is shown beside.
    local display=${DISPLAY#*:}
    local lock="/tmp/.X${display%%.*}-lock"
    [ -r "$lock" ] && xpid=$(tr -d ' ' < "$lock")
    t0=$EPOCHREALTIME
    c0=$(cpu_ticks "$pid")
    [ -n "$xpid" ] && x0=$(cpu_ticks "$xpid")
    sleep "$cpu_seconds"
    c1=$(cpu_ticks "$pid")
    [ -n "$xpid" ] && x1=$(cpu_ticks "$xpid")
    t1=$EPOCHREALTIME

    local hz seconds
    hz=$(getconf CLK_TCK)
    seconds=$(elapsed "$t0" "$t1")
    R[wait.$mode]=$(calc "($c1 - $c0) / $hz / $seconds * 100")
    R[wait.$mode.x]=$( [ -n "$xpid" ] && calc "($x1 - $x0) / $hz / $seconds * 100" || echo nan)

    # Closing the window lets the launcher go on: it starts the application and quits.
    kill "$WINDOW_PID" 2>/dev/null || true
    wait "$WINDOW_PID" 2>/dev/null || true
    WINDOW_PID=""
    local status=0
    for _ in $(seq 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    wait "$pid" || status=$?
    end_launched_app "$dir"
    [ "$status" = 0 ] || fail "the launcher ($mode) did not quit cleanly after the window closed (status $status)"
}

# Prints each output line after the time it was read.
stamp_lines() {
    local line
    while IFS= read -r line; do
        printf '%s %s\n' "$EPOCHREALTIME" "$line"
    done
}

# Seconds from $3 to the first stamped line that contains the text.
stamp_of() { elapsed "$3" "$(grep -F -- "$2" "$1" | head -n1 | cut -d' ' -f1)"; }

startup_run() {
    local run=$1 dir="$WORK/uptodate" stamped t0 t1 pid status=0
    [ -d "$dir" ] || installed_folder "$dir"
    rm -rf "$dir/home"
    mkdir -p "$dir/home"
    stamped="$WORK/uptodate-$run.log"

    local requests_before
    requests_before=$(grep -c '^GET ' "$WORK/backend.log" || true)
    t0=$EPOCHREALTIME
    HOME="$dir/home" stdbuf -oL -eL "$dir/solvanter-launcher" --headless > >(stamp_lines > "$stamped") 2>&1 &
    pid=$!
    wait "$pid" || status=$?
    t1=$EPOCHREALTIME
    end_launched_app "$dir"
    sleep 0.2   # the stamping reader finishes its last lines
    [ "$status" = 0 ] && grep -q "App process found" "$stamped" \
        || { tail -n 8 "$stamped" >&2; fail "up-to-date run failed (status $status)"; }

    local after
    after=$(sed -n 's/.*App process found after \([0-9.]*\) seconds.*/\1/p' "$stamped")
    UP_WALL+=("$(elapsed "$t0" "$t1")")
    UP_REQUESTS+=("$(( $(grep -c '^GET ' "$WORK/backend.log" || true) - requests_before ))")
    UP_FIXED+=("$(calc "0.5 + ${after:-0}")")
    UP_FIRST+=("$(elapsed "$t0" "$(head -n1 "$stamped" | cut -d' ' -f1)")")
    UP_API+=("$(stamp_of "$stamped" "[STATE]: Checking Solvanter API connection" "$t0")")
    UP_LAUNCH+=("$(stamp_of "$stamped" "[STATE]: Launching " "$t0")")
    UP_FOUND+=("$(stamp_of "$stamped" "App process found" "$t0")")
    UP_QUIT+=("$(stamp_of "$stamped" "Quit launcher" "$t0")")
}

# Peak RSS of an up-to-date run, the launcher's own footprint without an archive.
idle_rss() {
    local dir="$WORK/uptodate"
    rm -rf "$dir/home"
    mkdir -p "$dir/home"
    HOME="$dir/home" /usr/bin/time -v -o "$WORK/idle-time.txt" timeout 120 "$dir/solvanter-launcher" --headless \
        >"$WORK/idle-output.log" 2>&1 || fail "up-to-date run under /usr/bin/time failed"
    end_launched_app "$dir"
    R[idle_rss]=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$WORK/idle-time.txt")
}

measure_waiting() {
    echo "-- waiting for the application window, and start to quit" >&2
    "$REPO_DIR/tests/standin/make_app_zip.sh" "$STANDIN" "$APP_VERSION" "$WORK/builds/small.zip" \
        lifetime_ms=5000 >/dev/null
    serve_archive "$WORK/builds/small.zip"
    wait_cost window
    wait_cost headless

    UP_WALL=() UP_FIXED=() UP_FIRST=() UP_API=() UP_LAUNCH=() UP_FOUND=() UP_QUIT=() UP_REQUESTS=()
    local run
    for run in $(seq "$startup_runs"); do
        startup_run "$run"
    done
    idle_rss
    R[up.wall]=$(median "${UP_WALL[@]}")
    R[up.fixed]=$(median "${UP_FIXED[@]}")
    R[up.first]=$(median "${UP_FIRST[@]}")
    R[up.api]=$(median "${UP_API[@]}")
    R[up.launch]=$(median "${UP_LAUNCH[@]}")
    R[up.found]=$(median "${UP_FOUND[@]}")
    R[up.quit]=$(median "${UP_QUIT[@]}")
    R[up.requests]=$(median "${UP_REQUESTS[@]}")
}

# --- 5: the layout check ---------------------------------------------------------------------

# Short folder names: the deep archive's paths are close to what the OS takes (PATH_MAX).
layout_run() {
    local kind=$1 run=$2 dir="$WORK/L/$1$2" t0 t1
    mkdir -p "$dir/u"
    "$LAYOUT" --kind "$kind" --folder "$dir" --result "$dir/r.txt" --save "$dir/a.zip" >"$dir/output.log" 2>&1 \
        || { tail -n 3 "$dir/output.log" >&2; fail "layout run ($kind) failed: $(value_of "$dir/r.txt" check_result)"; }
    sync
    t0=$EPOCHREALTIME
    unzip -q -o "$dir/a.zip" -d "$dir/u" >/dev/null 2>&1 || fail "unzip of the $kind archive failed"
    t1=$EPOCHREALTIME
    LAY_CHECK+=("$(value_of "$dir/r.txt" check_seconds)")
    LAY_UNZIP+=("$(value_of "$dir/r.txt" unzip_seconds)")
    LAY_INFOZIP+=("$(elapsed "$t0" "$t1")")
    R[layout.$kind.entries]=$(value_of "$dir/r.txt" entries)
    R[layout.$kind.bytes]=$(value_of "$dir/r.txt" archive_bytes)
    R[layout.$kind.result]=$(value_of "$dir/r.txt" unzip_result)
}

measure_layout() {
    local kind run
    for kind in deep many; do
        echo "-- layout check and unzip: $kind archive" >&2
        LAY_CHECK=() LAY_UNZIP=() LAY_INFOZIP=()
        for run in $(seq "$runs"); do
            layout_run "$kind" "$run"
        done
        R[layout.$kind.check]=$(median "${LAY_CHECK[@]}")
        R[layout.$kind.unzip]=$(median "${LAY_UNZIP[@]}")
        R[layout.$kind.infozip]=$(median "${LAY_INFOZIP[@]}")
    done
}

# --- 6: config.xml of many keys -------------------------------------------------------------

config_run() {
    local dir="$WORK/config-$1-$2" start end
    launcher_folder "$dir"
    [ "$1" -eq 0 ] || cp "$WORK/config-$1.xml" "$dir/config.xml"
    start=$(date +%s.%N)
    (cd "$dir" && env -u DISPLAY -u XDG_CONFIG_HOME HOME="$dir/home" ./solvanter-launcher --write-config-and-quit \
        > /dev/null 2>&1) || fail "--write-config-and-quit with $1 keys failed"
    end=$(date +%s.%N)
    grep -q 'key0' "$dir/config.xml" || [ "$1" -eq 0 ] || fail "the $1 keys were not written back"
    elapsed "$start" "$end"
}

measure_config() {
    local keys run times
    { printf '<PROPERTIES>'; seq 0 11999 | sed 's/.*/<VALUE name="key&" val="&"\/>/'; printf '</PROPERTIES>'; } \
        > "$WORK/config-12000.xml"
    R[config.bytes]=$(stat -c %s "$WORK/config-12000.xml")
    for keys in 0 12000; do
        echo "-- --write-config-and-quit with $keys further keys" >&2
        times=()
        for run in $(seq "$runs"); do times+=("$(config_run "$keys" "$run")"); done
        R[config.$keys]=$(median "${times[@]}")
    done
}

# --- 7: a stop during a reply ----------------------------------------------------------------

# Seconds from SIGTERM to exit of a launcher whose backend answers every request with a 500 of
# the body in $1 (no "message", so the launcher keeps retrying until it is stopped).
stop_run() {
    local dir="$WORK/stop-$(basename "$1" .json)-$2" backend pid start end
    launcher_folder "$dir"
    "$BUILD_DIR/bin/solvanter-dev-backend" --port 0 --port-file "$dir/port" --reply-status / 500 "$1" \
        > "$dir/backend.log" 2>&1 &
    backend=$!
    wait_for_file "$dir/port" || fail "the dev backend for the stop runs did not start"
    echo "<PROPERTIES><VALUE name=\"app_api\" val=\"http://127.0.0.1:$(cat "$dir/port")\"/></PROPERTIES>" \
        > "$dir/config.xml"
    (cd "$dir" && exec env -u DISPLAY -u XDG_CONFIG_HOME HOME="$dir/home" ./solvanter-launcher --headless \
        --skip-update > /dev/null 2>&1) &
    pid=$!
    wait_for_line "$(launcher_log "$dir")" "API call failed in backend (500)" || fail "no 500 logged for $1"
    start=$(date +%s.%N)
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null || true
    end=$(date +%s.%N)
    kill "$backend" 2>/dev/null || true
    wait "$backend" 2>/dev/null || true
    elapsed "$start" "$end"
}

measure_stop() {
    local kind run times
    awk 'BEGIN { printf "{\"response_data\":\""; for (i = 0; i < 300000; i++) printf "a\\n"; printf "\"}" }' \
        > "$WORK/breaks.json"
    awk 'BEGIN { unit = ""; for (i = 0; i < 61; i++) unit = unit "["; unit = unit "1";
                 for (i = 0; i < 61; i++) unit = unit "]";
                 printf "{\"response_data\":[%s", unit; for (i = 1; i < 8000; i++) printf ",%s", unit; printf "]}" }' \
        > "$WORK/arrays.json"
    R[stop.arrays.bytes]=$(stat -c %s "$WORK/arrays.json")
    for kind in breaks arrays; do
        echo "-- SIGTERM during a 500 reply ($kind)" >&2
        times=()
        for run in $(seq "$runs"); do times+=("$(stop_run "$WORK/$kind.json" "$run")"); done
        R[stop.$kind]=$(median "${times[@]}")
    done
}

# --- run and report -------------------------------------------------------------------------

# Every size keeps its runs' folders until the end (deleting thousands of files between runs
# slows the next file creations down on some file systems), so check the space first.
need_mb=0
for mb in $sizes; do need_mb=$(( need_mb + mb * (4 + 5 * runs) )); done
# The layout runs: twice 50,000 small files each.
need_mb=$(( need_mb + 450 * runs ))
free_mb=$(df -Pm "$WORK" | awk 'NR == 2 { print $4 }')
[ "$free_mb" -gt "$need_mb" ] || fail "needs about $need_mb MB free in $WORK, has $free_mb MB"

start_backend
for mb in $sizes; do
    measure_size "$mb"
done
measure_waiting
measure_long_links
measure_names_only
stop_backend
measure_layout
measure_config
measure_stop

report() {
    local mb
    echo "Solvanter Launcher benchmark, $(date '+%Y-%m-%d %H:%M'), nproc $(nproc), $(uname -m)"
    echo "Runs per figure: $runs (median shown); dev backend on 127.0.0.1:$DEV_PORT; work folder on $(df -P "$WORK" | awk 'NR == 2 { print $1 }')"
    echo
    echo "1. Download and install, seconds: the launcher's download_build + install_app (bench driver)"
    echo "   against curl -s -o + unzip -q -o into an empty folder"
    printf '%-27s | %-32s | %-20s | %s\n' "" "launcher (bench driver)" "curl + unzip" "launcher / (curl + unzip)"
    printf '%-10s %7s %8s | %8s %7s %7s %7s | %6s %6s %6s | %8s %7s %6s\n' \
        archive entries "1st byte" download "(loop)" install total curl unzip total download install total
    for mb in $sizes; do
        printf '%7s MB %7s %8s | %8s %7s %7s %7s | %6s %6s %6s | %7sx %6sx %5sx\n' \
            "$(fmt "$(mb_of_bytes "${R[$mb.bytes]}")" 1)" "${R[$mb.entries]}" "$(fmt "${R[$mb.first_byte]}")" \
            "$(fmt "${R[$mb.drv_download]}")" "($(fmt "${R[$mb.drv_loop]}"))" \
            "$(fmt "${R[$mb.drv_install]}")" "$(fmt "${R[$mb.drv_total]}")" \
            "$(fmt "${R[$mb.curl]}")" "$(fmt "${R[$mb.unzip]}")" "$(fmt "${R[$mb.base_total]}")" \
            "$(fmt "$(calc "${R[$mb.drv_download]} / ${R[$mb.curl]}")")" \
            "$(fmt "$(calc "${R[$mb.drv_install]} / ${R[$mb.unzip]}")")" \
            "$(fmt "$(calc "${R[$mb.drv_total]} / ${R[$mb.base_total]}")")"
    done
    echo "   1st byte: curl's wait for the first byte of the archive (the dev backend reads the file"
    echo "   into memory first); both downloads include it. (loop): the launcher's read loop alone,"
    echo "   from its \"Download finished in\" line."
    echo "   The launcher binary's own log in its headless install runs (median):"
    for mb in $sizes; do
        printf '   %7s MB: "Download finished in %s seconds", "Unzipping %s files finished in %s seconds"\n' \
            "$(fmt "$(mb_of_bytes "${R[$mb.bytes]}")" 1)" "${R[$mb.lau_download]}" "${R[$mb.entries]}" "${R[$mb.lau_unzip]}"
    done
    echo
    echo "2. Peak memory of the launcher binary in a headless install run (/usr/bin/time -v)"
    printf '%-10s | %10s %12s | %18s %15s | %s\n' archive "peak RSS" "RSS/archive" "(RSS - idle)/arch." "driver RSS" \
        "directory offset 0: peak RSS, (RSS - idle)/arch."
    for mb in $sizes; do
        local arch_mb rss_mb idle_mb drv_mb bad_mb
        arch_mb=$(mb_of_bytes "${R[$mb.bytes]}")
        rss_mb=$(calc "${R[$mb.lau_rss]} / 1024")
        idle_mb=$(calc "${R[idle_rss]} / 1024")
        drv_mb=$(calc "${R[$mb.drv_rss]} / 1024")
        bad_mb=$(calc "${R[$mb.misplaced_rss]} / 1024")
        printf '%7s MB | %7s MB %11sx | %17sx %12s MB | %7s MB %6sx\n' "$(fmt "$arch_mb" 1)" "$(fmt "$rss_mb" 1)" \
            "$(fmt "$(calc "$rss_mb / $arch_mb")")" "$(fmt "$(calc "($rss_mb - $idle_mb) / $arch_mb")")" \
            "$(fmt "$drv_mb" 1)" "$(fmt "$bad_mb" 1)" "$(fmt "$(calc "($bad_mb - $idle_mb) / $arch_mb")")"
    done
    echo "   idle: peak RSS of an up-to-date headless run, $(fmt "$(calc "${R[idle_rss]} / 1024")" 1) MB." \
         "The design holds the archive twice while installing: 2.00x over idle."
    echo "   Directory offset 0: the same archive with its end record's directory offset set to 0, which"
    echo "   the launcher refuses before the framework would copy all from there: one copy, the download."
    local links_mb links_rss_mb
    links_mb=$(mb_of_bytes "${R[links.bytes]}")
    links_rss_mb=$(calc "${R[links.rss]} / 1024")
    printf '   Link names: 100 link entries with 64 KB names, %s MB, refused as longer than the OS takes:\n' \
        "$(fmt "$links_mb" 1)"
    printf '   peak RSS %s MB, (RSS - idle)/arch. %sx; the layout check alone took %s s.\n' "$(fmt "$links_rss_mb" 1)" \
        "$(fmt "$(calc "($links_rss_mb - ${R[idle_rss]} / 1024) / $links_mb")")" "$(fmt "${R[links.check]}" 3)"
    local names_mb names_rss_mb
    names_mb=$(mb_of_bytes "${R[names.bytes]}")
    names_rss_mb=$(calc "${R[names.rss]} / 1024")
    printf '   Names alone: %s entries whose 64 KB names stand in the directory alone, %s MB, refused the same way:\n' \
        "${R[names.entries]}" "$(fmt "$names_mb" 1)"
    printf '   peak RSS %s MB, (RSS - idle)/arch. %sx.\n' "$(fmt "$names_rss_mb" 1)" \
        "$(fmt "$(calc "($names_rss_mb - ${R[idle_rss]} / 1024) / $names_mb")")"
    echo
    echo "3. Waiting for the application window to close (spinner turning), ${cpu_seconds} s sampled"
    printf '   window shown: %5s %% of one core (X server: %s %%)\n' \
        "$(fmt "${R[wait.window]}" 1)" "$(fmt "${R[wait.window.x]}" 1)"
    printf '   headless:     %5s %% of one core (X server: %s %%)\n' \
        "$(fmt "${R[wait.headless]}" 1)" "$(fmt "${R[wait.headless.x]}" 1)"
    echo
    echo "4. Start to quit, up-to-date headless run (median of $startup_runs)"
    local framework
    framework=$(calc "${R[up.requests]} * 0.1")
    printf '   wall %s s = fixed waits %s s (500 ms after starting the app, plus 500 ms per extra window check)\n' \
        "$(fmt "${R[up.wall]}")" "$(fmt "${R[up.fixed]}")"
    printf '            + %s HTTP requests x 100 ms (JUCE'"'"'s curl transport sleeps before each connects) = %s s\n' \
        "${R[up.requests]}" "$(fmt "$framework")"
    printf '            + the rest %s s\n' "$(fmt "$(calc "${R[up.wall]} - ${R[up.fixed]} - $framework")")"
    printf '   seconds from start: first log line %s, API check %s, "Launching" %s, app found %s, "Quit launcher" %s, exit %s\n' \
        "$(fmt "${R[up.first]}")" "$(fmt "${R[up.api]}")" "$(fmt "${R[up.launch]}")" \
        "$(fmt "${R[up.found]}")" "$(fmt "${R[up.quit]}")" "$(fmt "${R[up.wall]}")"
    echo
    echo "5. Layout check of an install against its unzip, seconds (median of $runs)"
    printf '%-34s %7s %9s | %8s %8s %11s | %s\n' archive entries size check unzip "unzip -q" "check/unzip"
    local kind label
    for kind in deep many; do
        [ "$kind" = deep ] && label="deep paths (10 x 2,000 folders)" || label="many small entries"
        printf '%-34s %7s %6s KB | %8s %8s %11s | %10sx\n' "$label" "${R[layout.$kind.entries]}" \
            "$(fmt "$(calc "${R[layout.$kind.bytes]} / 1024")" 0)" "$(fmt "${R[layout.$kind.check]}" 4)" \
            "$(fmt "${R[layout.$kind.unzip]}")" "$(fmt "${R[layout.$kind.infozip]}")" \
            "$(fmt "$(calc "${R[layout.$kind.check]} / ${R[layout.$kind.unzip]}")" 4)"
        [ "${R[layout.$kind.result]}" = ok ] || echo "   $kind: the launcher's unzip failed: ${R[layout.$kind.result]}"
    done
    echo "   check: check_archive_layout alone; unzip: StagedBuild::unzip (checks again, then writes)."
    echo
    echo "6. Start to quit of --write-config-and-quit, seconds (median of $runs)"
    printf '   eight keys: %s; 12,000 further keys (%s KB, loaded and written back): %s\n' \
        "$(fmt "${R[config.0]}")" "$(fmt "$(calc "${R[config.bytes]} / 1024")" 0)" "$(fmt "${R[config.12000]}")"
    echo
    echo "7. SIGTERM once a 500's error line is logged, to exit, seconds (median of $runs)"
    printf '   300,000 line breaks (0.9 MB): %s; arrays 61 levels deep (%s KB): %s\n' \
        "$(fmt "${R[stop.breaks]}" 3)" "$(fmt "$(calc "${R[stop.arrays.bytes]} / 1024")" 0)" "$(fmt "${R[stop.arrays]}" 3)"
}

mkdir -p "$BENCH_DIR/out"
report | tee "$BENCH_DIR/out/last-run.txt"
