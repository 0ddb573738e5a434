#!/usr/bin/env bash
# The Windows launcher (build-windows/launcher/bin/solvanter-launcher.exe) under Wine, against the
# Linux dev backend, with a Win32 stand-in application. One case per call, as ctest runs them:
#   wine_tests.sh <build-dir> <windows-exe> setup|cleanup|resources|options|fresh_install|...
# setup makes the 32-bit prefix and the test programs; cleanup stops its wineserver and removes
# it. Each case runs on an Xvfb display of its own and leaves no Wine process behind.
# SOLVANTER_SKIP_WINDOWS=1 skips every case (exit code 77).
set -euo pipefail

BUILD_DIR=$1 EXE=$2 CASE=$3
SOURCE_DIR="$(cd "$(dirname "$0")/../.." && pwd)"
WORK="$BUILD_DIR/wine-tests"
DEV_PORT="${DEV_PORT:?the dev port compiled into both builds}"
ORIGIN="http://127.0.0.1:$DEV_PORT"

export WINEPREFIX="$WORK/prefix" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
# No .NET or Gecko installers, no debugger dialog when a program crashes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

if [ "${SOLVANTER_SKIP_WINDOWS:-0}" = 1 ]; then
    echo "skipped: SOLVANTER_SKIP_WINDOWS=1"
    exit 77
fi

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Polls a condition (a command) until it holds, up to a limit in seconds.
wait_for() {
    local limit=$1
    shift
    local end=$((SECONDS + limit))
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.2
    done
}

case $CASE in
setup)
    command -v wine >/dev/null || fail "wine missing: run tools/build-windows.sh or ./test.sh"
    [ -f "$EXE" ] || fail "$EXE missing: run tools/build-windows.sh"
    grep -qaF "$ORIGIN" "$EXE" || fail "$EXE does not point at $ORIGIN: build it with DEV_PORT=$DEV_PORT"
    rm -rf "$WORK"
    mkdir -p "$WORK"
    for program in standin/standin_app:standin_win windows/timeout:timeout windows/hold_open:hold_open; do
        i686-w64-mingw32-gcc -std=c99 -O2 -s -Wall -Wextra -o "$WORK/${program#*:}.exe" "$SOURCE_DIR/tests/${program%:*}.c" \
            || fail "cannot build ${program#*:}.exe"
    done
    wineboot -i >/dev/null 2>&1 || fail "wineboot could not make the prefix"
    wineserver -w
    # Where the patcher's cmd finds it.
    cp "$WORK/timeout.exe" "$WINEPREFIX/drive_c/windows/system32/"
    exit 0
    ;;
cleanup)
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
    rm -rf "$WORK"
    exit 0
    ;;
resources)
    # The exe carries the launcher's resource script, not the one JUCE generates, and no DLL of
    # the MinGW runtime.
    file "$EXE" | grep -q 'PE32 executable (GUI) Intel 80386' || fail "not a 32-bit GUI exe: $(file "$EXE")"
    dlls=$(i686-w64-mingw32-objdump -p "$EXE" | sed -n 's/.*DLL Name: //p')
    ! grep -qiE 'libstdc|libgcc|libwinpthread|zlib|png|jpeg' <<<"$dlls" || fail "not statically linked: $dlls"
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    for group in IDI_ICON1 IDI_ICON2; do
        wrestool -x --type=14 --name="$group" -o "$tmp/$group.ico" "$EXE" || fail "no icon group $group"
        sizes=$(icotool -l "$tmp/$group.ico" | sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\) --bit-depth=32.*/\1x\2/p' | sort -n | tr '\n' ' ')
        [ "$sizes" = "16x16 24x24 32x32 48x48 64x64 128x128 256x256 " ] || fail "$group sizes: $sizes"
    done
    wrestool -x --raw --type=16 --name=1 -o "$tmp/version" "$EXE" || fail "no version resource"
    # VS_FIXEDFILEINFO: signature, structure version, then file version 2.9 and 24.0.
    od -An -tx4 -v "$tmp/version" | tr -s ' \n' ' ' | grep -q 'feef04bd 00010000 00020009 00180000' \
        || fail "file version is not 2.9.24.0"
    iconv -f UTF-16LE -t UTF-8 "$tmp/version" 2>/dev/null | tr -c '[:print:]' ' ' | grep -q 'ProductVersion *2\.9\.24' \
        || fail "no ProductVersion 2.9.24"
    wrestool -x --raw --type=24 --name=1 "$EXE" | grep -q 'requestedExecutionLevel level="asInvoker"' \
        || fail "manifest without the invoker's execution level"
    echo "resources: both icon groups, version 2.9.24, asInvoker manifest, static runtime"
    exit 0
    ;;
esac

# Every other case runs the exe: under an Xvfb display of its own, started here.
if [ -z "${WINE_TESTS_DISPLAY:-}" ]; then
    export WINE_TESTS_DISPLAY=1
    exec xvfb-run -a -s "-noreset -screen 0 1280x1024x24" "$0" "$@"
fi
[ -d "$WINEPREFIX/drive_c" ] || fail "no Wine prefix: the setup case did not run"

DIR="$WINEPREFIX/drive_c/cases/$CASE"
INSTALL="$DIR/install"
# cmd would drop this percent sign from the patcher's restart line, were it not escaped. Wine's
# ShellExecute expands a variable such as %PATH% in the script's own path, so there is only one.
[ "$CASE" != self_update ] || INSTALL="$DIR/install 100%"
# cmd reads the patcher's batch file in the console's code page (437 in this prefix).
[ "$CASE" != self_update_code_page ] || INSTALL="$DIR/instü"
rm -rf "$DIR"
mkdir -p "$INSTALL" "$DIR/builds"
cp "$EXE" "$INSTALL/solvanter-launcher.exe"
LOG=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Roaming)/Solvanter/launcher.log
rm -f "$LOG"

BACKEND_PID=
cleanup_case() {
    local status=$?
    # Whatever the case left running in the prefix ends with its wineserver.
    wineserver -k 2>/dev/null || true
    if [ -n "$BACKEND_PID" ]; then
        kill "$BACKEND_PID" 2>/dev/null || true
        wait "$BACKEND_PID" 2>/dev/null || true
    fi
    if [ "$status" -ne 0 ]; then
        echo "--- launcher.log"; cat "$LOG" 2>/dev/null || true
        echo "--- launcher output"; cat "$DIR/out.txt" 2>/dev/null || true
        echo "--- backend"; cat "$DIR/backend.txt" 2>/dev/null || true
    fi
    exit "$status"
}
trap cleanup_case EXIT

# The dev backend on the port the exe was built for, serving the stand-in as the application.
# Other tests use the port too: retry while it is taken.
start_backend() {
    "$SOURCE_DIR/tests/standin/make_app_zip.sh" "$WORK/standin_win.exe" 1.0.0 "$DIR/builds/app.zip" "$@" >/dev/null
    local end=$((SECONDS + 120))
    while :; do
        rm -f "$DIR/port"
        "$BUILD_DIR/bin/solvanter-dev-backend" --port "$DEV_PORT" --builds "$DIR/builds" --app-archive app.zip \
            --port-file "$DIR/port" ${LAUNCHER_UPDATE:+--launcher-update $LAUNCHER_UPDATE} \
            ${BACKEND_ARGS[@]+"${BACKEND_ARGS[@]}"} >"$DIR/backend.txt" 2>&1 &
        BACKEND_PID=$!
        wait_for 30 eval '[ -f "$DIR/port" ] || ! kill -0 "$BACKEND_PID" 2>/dev/null' || fail "backend did not start"
        [ -f "$DIR/port" ] && break
        wait "$BACKEND_PID" || true
        BACKEND_PID=
        [ "$SECONDS" -lt "$end" ] || fail "port $DEV_PORT stayed taken"
        sleep 1
    done
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<PROPERTIES>\n  <VALUE name="app_api" val="%s"/>\n</PROPERTIES>\n' \
        "$ORIGIN" >"$INSTALL/config.xml"
}

# Runs the launcher with the given arguments to its end; its exit code goes to $STATUS.
launcher() {
    STATUS=0
    timeout 120 wine "$INSTALL/solvanter-launcher.exe" "$@" >"$DIR/out.txt" 2>&1 || STATUS=$?
}

log_has() { grep -qF -- "$1" "$LOG" 2>/dev/null; }
expect_log() { log_has "$1" || fail "launcher.log lacks: $1"; }
expect_status() { [ "$STATUS" -eq "$1" ] || fail "exit code $STATUS, expected $1"; }
# Wine returns when the launcher exits; the application it started is closed here (WM_CLOSE),
# and then every Wine process of the case must end.
wait_for_wine() {
    timeout 60 wine taskkill /im Solvanter.exe >/dev/null 2>&1 || true
    timeout 60 wineserver -w || fail "Wine processes still running after 60 s"
}
# The launcher hands its update to the patcher, which restarts it; the restarted launcher installs
# and starts the application.
self_update_and_restart() {
    launcher --headless
    expect_status 0
    expect_log "Closing launcher for self-update"
    restarted_quit() { [ "$(grep -c "Quit launcher" "$LOG")" -ge 2 ]; }
    wait_for 90 restarted_quit || fail "the restarted launcher did not quit"
    expect_log "App process found"
    wait_for_wine
}
window_open() { xwininfo -root -tree 2>/dev/null | grep -qF "\"$1\""; }
# Holds a file or folder (a Windows path) open without sharing until hold_open.exe is killed.
hold() {
    local said="$DIR/hold-$(date +%s%N).txt"
    timeout 120 wine "$WORK/hold_open.exe" "$1" >"$said" 2>&1 &
    wait_for 60 grep -q held "$said" || fail "could not hold $1: $(cat "$said")"
}

case $CASE in
options)
    launcher --version
    expect_status 0
    [ "$(cat "$DIR/out.txt")" = $'Solvanter-launcher_Windows_2.9.24_e0accb7_2022-05-13_0702\r' ] \
        || fail "--version printed: $(od -c "$DIR/out.txt" | head)"
    launcher --help
    expect_status 0
    grep -q $'^  --write-config-and-quit *Write config file and exit\r$' "$DIR/out.txt" || fail "--help printed: $(cat "$DIR/out.txt")"
    # Redirected by cmd, the output still goes where it was sent.
    timeout 60 wine cmd /c 'C:\cases\options\install\solvanter-launcher.exe --version > C:\cases\options\version.txt'
    grep -q '^Solvanter-launcher_Windows_2.9.24' "$DIR/version.txt" || fail "redirected --version: $(cat "$DIR/version.txt")"
    [ ! -e "$LOG" ] || fail "--help or --version opened the log"

    launcher --write-config-and-quit
    expect_status 0
    grep -q '<VALUE name="app_executable" val="Solvanter"/>' "$INSTALL/config.xml" \
        || fail "config.xml beside the exe: $(cat "$INSTALL/config.xml" 2>&1)"
    expect_log "Writing config file and quitting"
    expect_log "Quit launcher"

    # A config.xml with a DTD yields no keys, with one line; launchers started together append
    # every line of theirs to the one log.
    printf '<!DOCTYPE PROPERTIES SYSTEM "C:\\windows\\win.ini"><PROPERTIES><VALUE name="app_api" val="&x;"/></PROPERTIES>' \
        >"$INSTALL/config.xml"
    rm -f "$LOG"
    for _ in 1 2 3 4; do
        timeout 120 wine "$INSTALL/solvanter-launcher.exe" --write-config-and-quit >/dev/null 2>&1 &
    done
    wait
    for line in "Log started: " "System info" "Quit launcher"; do
        [ "$(grep -c "$line" "$LOG")" -eq 4 ] || fail "launcher.log holds $(grep -c "$line" "$LOG") times \"$line\", not 4"
    done
    expect_log 'config.xml": it holds a DTD'
    ;;
fresh_install)
    start_backend
    launcher --headless
    expect_status 0
    [ "$(cat "$INSTALL/Solvanter/version.txt")" = 1.0.0 ] || fail "version.txt"
    mapfile -t args < <(tr -d '\r' <"$INSTALL/Solvanter/args.txt")
    [ "${#args[@]}" -eq 7 ] || fail "the application got ${#args[@]} arguments: ${args[*]}"
    [ "${args[0]}" = 'C:\cases\fresh_install\install\Solvanter\Solvanter.exe' ] || fail "started as ${args[0]}"
    [ "${args[1]} ${args[2]} ${args[3]} ${args[5]}" = "--api $ORIGIN --sock --web" ] || fail "arguments: ${args[*]}"
    expect_log "App process found"
    wait_for_wine
    ;;
wait_then_taskkill)
    # An earlier application window keeps the launcher waiting; taskkill (WM_CLOSE) then ends the
    # headless launcher the way the close button would.
    start_backend
    mkdir -p "$DIR/earlier"
    cp "$WORK/standin_win.exe" "$DIR/earlier/Solvanter.exe"
    timeout 120 wine "$DIR/earlier/Solvanter.exe" >/dev/null 2>&1 &
    wait_for 60 window_open Solvanter || fail "the earlier window did not open"
    timeout 120 wine "$INSTALL/solvanter-launcher.exe" --headless >"$DIR/out.txt" 2>&1 &
    pid=$!
    wait_for 90 log_has "Solvanter app is running, waiting for app to be closed" || fail "the launcher did not wait"
    timeout 60 wine taskkill /im solvanter-launcher.exe >/dev/null 2>&1 || true
    # Its time limit ends it when taskkill does not (exit code 124).
    STATUS=0
    wait "$pid" || STATUS=$?
    expect_status 0
    expect_log "Cancelled"
    expect_log "Quit launcher"
    [ ! -e "$INSTALL/Solvanter/args.txt" ] || fail "the application was started"
    wait_for_wine
    ;;
no_window)
    start_backend no_window=1 lifetime_ms=11000
    launcher --headless
    expect_status 1
    expect_log "App process not found after 10 seconds"
    expect_log "Quit launcher with exit code 1"
    wait_for_wine
    ;;
exits_at_once)
    start_backend exit_code=3 "message=cannot open the session"
    launcher --headless
    expect_status 1
    expect_log "Failed to launch app, exit code 3:"
    expect_log "cannot open the session"
    ;;
self_update)
    # The update brings the same exe and a marker; the patcher (wscript, cmd) moves them over the
    # running launcher's files once it has exited and restarts it, which then installs and
    # starts the application.
    mkdir -p "$DIR/stage/Solvanter Launcher"
    cp "$EXE" "$DIR/stage/Solvanter Launcher/solvanter-launcher.exe"
    echo updated >"$DIR/stage/Solvanter Launcher/marker 100%.txt"
    (cd "$DIR/stage" && zip -q -r -X "$DIR/builds/launcher.zip" "Solvanter Launcher")
    LAUNCHER_UPDATE="2.9.25 launcher.zip 1" start_backend
    self_update_and_restart
    [ "$(cat "$INSTALL/marker 100%.txt")" = updated ] || fail "the marker was not moved into place"
    [ ! -e "$INSTALL/Solvanter Launcher" ] || fail "the update's folder is left"
    [ "$(grep -c "Checking app update" "$LOG")" -eq 1 ] || fail "the application was checked other than once"
    [ "$(grep -c '/check_version/launcher/' "$DIR/backend.txt")" -eq 2 ] || fail "launcher checks: $(cat "$DIR/backend.txt")"
    ;;
self_update_code_page)
    # From a folder, and with a new entry, whose names hold letters outside ASCII but inside the
    # console's code page: the batch file carries them, every file moves in and the launcher
    # restarts. A name outside the code page (Cyrillic), in an entry or in the launcher's folder,
    # fails the update before either script is written, the launcher's files unchanged.
    stage_update() {
        rm -rf "$DIR/stage" "$DIR/builds/launcher.zip"
        mkdir -p "$DIR/stage/Solvanter Launcher"
        cp "$EXE" "$DIR/stage/Solvanter Launcher/solvanter-launcher.exe"
        local name
        for name in "$@"; do echo updated >"$DIR/stage/Solvanter Launcher/$name"; done
        (cd "$DIR/stage" && zip -q -r -X "$DIR/builds/launcher.zip" "Solvanter Launcher")
    }
    stage_update nüw-é.txt
    LAUNCHER_UPDATE="2.9.25 launcher.zip 1" start_backend
    self_update_and_restart
    [ "$(cat "$INSTALL/nüw-é.txt")" = updated ] || fail "nüw-é.txt was not moved into place: $(ls "$INSTALL")"
    [ ! -e "$INSTALL/Solvanter Launcher" ] || fail "the update's folder is left: $(ls "$INSTALL/Solvanter Launcher")"
    [ "$(grep -c '/check_version/launcher/' "$DIR/backend.txt")" -eq 2 ] || fail "launcher checks: $(cat "$DIR/backend.txt")"

    # The backend offers the update once: a new one for each launcher.
    refused_update() {
        local install=$1 refusal=$2
        kill "$BACKEND_PID"
        wait "$BACKEND_PID" || true
        LAUNCHER_UPDATE="2.9.25 launcher.zip 1" start_backend
        [ "$install" = "$INSTALL" ] || cp "$INSTALL/config.xml" "$install/"
        rm -f "$LOG" "$install/patcher.bat" "$install/patcher.vbs"
        STATUS=0
        timeout 120 wine "$install/solvanter-launcher.exe" --headless >"$DIR/out.txt" 2>&1 || STATUS=$?
        expect_status 1
        expect_log "$refusal"
        expect_log "Something went wrong with updating the launcher."
        ! log_has "Closing launcher for self-update" || fail "the update was handed over"
        [ ! -e "$install/patcher.bat" ] && [ ! -e "$install/patcher.vbs" ] || fail "a script was written: $(ls "$install")"
        cmp -s "$EXE" "$install/solvanter-launcher.exe" || fail "the launcher was replaced"
        [ ! -e "$install/Жук.txt" ] || fail "Жук.txt was moved in"
    }
    stage_update Жук.txt
    refused_update "$INSTALL" '[ERROR]: Launcher build entry "Жук.txt" cannot be written to the patcher script in the console'"'"'s code page 437'
    wait_for_wine
    stage_update
    other="$DIR/inst Жук"
    mkdir -p "$other"
    cp "$EXE" "$other/solvanter-launcher.exe"
    refused_update "$other" '[ERROR]: Launcher path "C:\cases\self_update_code_page\inst Жук\solvanter-launcher.exe" cannot be written to the patcher script in the console'"'"'s code page 437'
    wait_for_wine
    ;;
windows_names)
    # Names Windows reads as other names, in an entry or a link's target: refused before anything
    # is written, the installed build kept and no staging folder left. Names that only look like
    # them install.
    start_backend
    mkdir -p "$INSTALL/Solvanter"
    cp "$WORK/standin_win.exe" "$INSTALL/Solvanter/Solvanter.exe"
    printf 0.9.0 >"$INSTALL/Solvanter/version.txt"
    # what the archive adds below Solvanter/ (a folder ends in '/', a link is "name -> target") | the refusal
    rows=(
        '. ./. ./|Entry "Solvanter/. ./" has a name that Windows reads as another name: ". ."'
        '. /x.txt|has a name that Windows reads as another name: ". "'
        'version.txt.|Entry "Solvanter/version.txt." has a name that Windows reads as another name: "version.txt."'
        'version.txt |Entry "Solvanter/version.txt " has a name that Windows reads as another name: "version.txt "'
        'a:b|Entry "Solvanter/a:b" has a name that Windows reads as another name: "a:b"'
        'nul.txt|Entry "Solvanter/nul.txt" has a name that Windows reads as another name: "nul.txt"'
        'lib/CON|Entry "Solvanter/lib/CON" has a name that Windows reads as another name: "CON"'
        'Con .tar.gz|Entry "Solvanter/Con .tar.gz" has a name that Windows reads as another name: "Con .tar.gz"'
        'lpt9.log|Entry "Solvanter/lpt9.log" has a name that Windows reads as another name: "lpt9.log"'
        'COM¹|Entry "Solvanter/COM¹" has a name that Windows reads as another name: "COM¹"'
        'l -> lib/version.txt.|Link "Solvanter/l" has a target with a name that Windows reads as another name: "lib/version.txt."'
        'l -> aux/x|Link "Solvanter/l" has a target with a name that Windows reads as another name: "aux/x"'
        ' lead/.hidden|'
        'COM10|'
        'console.txt|'
        'nul_x|'
    )
    for row in "${rows[@]}"; do
        added=${row%%|*} refusal=${row#*|}
        stage="$DIR/stage"
        rm -rf "$stage" "$DIR/builds/app.zip" "$LOG"
        mkdir -p "$stage/Solvanter"
        cp "$WORK/standin_win.exe" "$stage/Solvanter/Solvanter.exe"
        printf 1.0.0 >"$stage/Solvanter/version.txt"
        case $added in
        *' -> '*) ln -s "${added#* -> }" "$stage/Solvanter/${added%% -> *}" ;;
        */) mkdir -p "$stage/Solvanter/$added" ;;
        *) mkdir -p "$(dirname "$stage/Solvanter/$added")"; echo added >"$stage/Solvanter/$added" ;;
        esac
        (cd "$stage" && zip -q -r -y -X "$DIR/builds/app.zip" Solvanter)
        launcher --headless
        if [ -z "$refusal" ]; then
            expect_status 0
            [ "$(cat "$INSTALL/Solvanter/$added")" = added ] || fail "\"$added\" was not installed: $(ls -a "$INSTALL/Solvanter")"
            [ "$(cat "$INSTALL/Solvanter/version.txt")" = 1.0.0 ] || fail "\"$added\": version.txt"
            wait_for_wine
            rm -rf "$INSTALL/Solvanter"
            mkdir -p "$INSTALL/Solvanter"
            cp "$WORK/standin_win.exe" "$INSTALL/Solvanter/Solvanter.exe"
            printf 0.9.0 >"$INSTALL/Solvanter/version.txt"
            continue
        fi
        expect_status 1
        expect_log "$refusal"
        [ "$(cat "$INSTALL/Solvanter/version.txt")" = 0.9.0 ] || fail "\"$added\": the installed build was replaced"
        ! ls "$INSTALL" | grep -qvxE 'Solvanter|config\.xml|install\.lock|solvanter-launcher\.exe' \
            || fail "\"$added\": left beside the launcher: $(ls "$INSTALL")"
        [ "$(ls -A "$INSTALL/Solvanter" | tr '\n' ' ')" = "Solvanter.exe version.txt " ] \
            || fail "\"$added\": written into the installed build: $(ls -A "$INSTALL/Solvanter")"
    done
    wait_for_wine

    # The launcher's own update goes through the same check, before the patcher sees anything.
    kill "$BACKEND_PID"
    wait "$BACKEND_PID" || true
    rm -rf "$DIR/stage" "$LOG"
    mkdir -p "$DIR/stage/Solvanter Launcher"
    echo new >"$DIR/stage/Solvanter Launcher/solvanter-launcher.exe."
    (cd "$DIR/stage" && zip -q -r -X "$DIR/builds/launcher.zip" "Solvanter Launcher")
    LAUNCHER_UPDATE="2.9.25 launcher.zip 1" start_backend
    launcher --headless
    expect_status 1
    expect_log 'Entry "Solvanter Launcher/solvanter-launcher.exe." has a name that Windows reads as another name'
    expect_log "Something went wrong with updating the launcher."
    cmp -s "$EXE" "$INSTALL/solvanter-launcher.exe" || fail "the launcher was replaced"
    ! ls "$INSTALL" | grep -qvxE 'Solvanter|config\.xml|install\.lock|solvanter-launcher\.exe' \
        || fail "the launcher's update left: $(ls "$INSTALL")"
    wait_for_wine
    ;;
held_folders)
    # Wine, unlike Windows, renames a folder holding an open file, but not a folder held open
    # itself; it refuses to delete an open file as Windows does. The old build cannot be set
    # aside: the update fails and leaves no staged build. A leftover that cannot be removed
    # then blocks no update.
    start_backend
    mkdir -p "$INSTALL/Solvanter" "$INSTALL/Solvanter.old"
    cp "$WORK/standin_win.exe" "$INSTALL/Solvanter/Solvanter.exe"
    echo 0.9.0 >"$INSTALL/Solvanter/version.txt"
    echo held >"$INSTALL/Solvanter.old/held.txt"
    hold 'C:\cases\held_folders\install\Solvanter.old\held.txt'
    hold 'C:\cases\held_folders\install\Solvanter'
    leftover='Could not remove what earlier installs left, tried again at the next start: "C:\cases\held_folders\install\Solvanter.old"'
    launcher --headless
    expect_status 1
    expect_log "$leftover"
    expect_log "Failed to remove existing app"
    [ ! -e "$INSTALL/Solvanter.installing" ] || fail "the staged build is left: $(ls "$INSTALL")"
    [ "$(cat "$INSTALL/Solvanter/version.txt")" = 0.9.0 ] || fail "the old version is gone"

    timeout 60 wine taskkill /f /im hold_open.exe >/dev/null 2>&1 || true
    hold 'C:\cases\held_folders\install\Solvanter.old\held.txt'
    rm -f "$LOG"
    launcher --headless
    expect_status 0
    expect_log "$leftover"
    expect_log "Removed existing app"
    [ "$(cat "$INSTALL/Solvanter/version.txt")" = 1.0.0 ] || fail "version.txt: $(cat "$INSTALL/Solvanter/version.txt")"
    [ "$(cd "$INSTALL" && echo Solvanter.*)" = Solvanter.old ] || fail "left: $(ls "$INSTALL")"
    timeout 60 wine taskkill /f /im hold_open.exe >/dev/null 2>&1 || true
    wait_for_wine
    ;;
hostile_backend)
    # An installed version holding reserved characters reaches the backend as one segment,
    # exactly as version.txt holds it; the status reply nests as deep as a reply may, parsed on
    # the worker thread's stack.
    version='2.0#rc1 beta/../x?y=1&z'
    segment='2.0%23rc1%20beta%2F..%2Fx%3Fy%3D1%26z'
    brackets() { printf "%${2}s" | tr ' ' "$1"; }
    echo "{\"message\":\"deep\",\"x\":$(brackets [ 63)$(brackets ] 63)}" >"$DIR/deep.json"
    BACKEND_ARGS=(--app-version "$version" --reply / "$DIR/deep.json")
    start_backend
    mkdir -p "$INSTALL/Solvanter"
    cp "$WORK/standin_win.exe" "$INSTALL/Solvanter/Solvanter.exe"
    printf '%s\n' "$version" >"$INSTALL/Solvanter/version.txt"
    launcher --headless
    expect_status 0
    expect_log "Message: deep"
    expect_log "App is up to date"
    grep -qF "GET /launcher/Windows/check_version/app/current/Solvanter/$segment " "$DIR/backend.txt" \
        || fail "the version check: $(grep check_version "$DIR/backend.txt")"
    wait_for_wine
    kill "$BACKEND_PID"
    wait "$BACKEND_PID" || true

    # The version check's reply hides 100,000 levels behind a single-quoted double quote: refused
    # before the parser sees it, and the update goes on, through a relative redirect.
    echo "['\"',$(brackets [ 100000)$(brackets ] 100000)]" >"$DIR/hidden.json"
    BACKEND_ARGS=(--app-archive moved.zip --redirect /builds/moved.zip app.zip
                  --reply "/launcher/Windows/check_version/app/current/Solvanter/$segment" "$DIR/hidden.json")
    start_backend
    rm -f "$LOG"
    launcher --headless
    expect_status 0
    expect_log "API reply nested too deeply (more than 64 levels)"
    expect_log "App version query failed"
    grep -qF "GET /builds/app.zip " "$DIR/backend.txt" || fail "the redirect was not followed: $(cat "$DIR/backend.txt")"
    [ "$(cat "$INSTALL/Solvanter/version.txt")" = 1.0.0 ] || fail "version.txt: $(cat "$INSTALL/Solvanter/version.txt")"
    wait_for_wine
    ;;
hostile_archives)
    # Archives refused before anything is written, the installed build kept: names whose overlong
    # UTF-8 (C0 AE) the conversion to UTF-16 would read as "..", in an entry and in a link's target,
    # and an entry 1,900 folders deep, longer than Windows takes as a path (refused at once rather
    # than after making its folders one by one).
    start_backend
    mkdir -p "$INSTALL/Solvanter"
    cp "$WORK/standin_win.exe" "$INSTALL/Solvanter/Solvanter.exe"
    printf 0.9.0 >"$INSTALL/Solvanter/version.txt"
    dots=$(printf '\xc0\xae\xc0\xae') shown='\xC0\xAE\xC0\xAE' deep=$(printf 'a/%.0s' $(seq 1900))
    for kind in name link deep; do
        stage="$DIR/stage-$kind"
        mkdir -p "$stage/Solvanter"
        cp "$WORK/standin_win.exe" "$stage/Solvanter/Solvanter.exe"
        printf 1.0.0 >"$stage/Solvanter/version.txt"
        case $kind in
        name)
            mkdir -p "$stage/Solvanter/$dots/$dots"
            echo escaped >"$stage/Solvanter/$dots/$dots/escaped.txt"
            refusal="Entry \"Solvanter/$shown/$shown/escaped.txt\" has a name that is not valid UTF-8"
            ;;
        link)
            ln -s "$dots/escaped.txt" "$stage/Solvanter/escaped.txt"
            refusal="Link \"Solvanter/escaped.txt\" has a target that is not valid UTF-8: \"$shown/escaped.txt\""
            ;;
        deep)
            mkdir -p "$stage/Solvanter/$deep"
            echo deep >"$stage/Solvanter/${deep}deep.txt"
            refusal="Entry \"Solvanter/a/a/a/"
            ;;
        esac
        rm -f "$DIR/builds/app.zip" "$LOG"
        # Files and links only: each refusal names the entry that holds the name.
        (cd "$stage" && zip -q -r -y -D -X "$DIR/builds/app.zip" Solvanter)
        launcher --headless
        expect_status 1
        expect_log "$refusal"
        [ "$kind" != deep ] || expect_log "deep.txt\" is too long a path for the OS"
        [ "$(cat "$INSTALL/Solvanter/version.txt")" = 0.9.0 ] || fail "$kind: the installed build was replaced"
        ! ls "$INSTALL" | grep -qvxE 'Solvanter|config\.xml|install\.lock|solvanter-launcher\.exe' \
            || fail "$kind: left beside the launcher: $(ls "$INSTALL")"
    done
    wait_for_wine
    ;;
*)
    fail "unknown case $CASE"
    ;;
esac
echo "$CASE: passed"
