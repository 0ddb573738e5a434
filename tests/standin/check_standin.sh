#!/usr/bin/env bash
# shellcheck disable=SC2015  # pass() cannot fail, so "test && pass || fail" is safe
# Checks the stand-in application's behaviour, so launcher tests can trust it.
# Usage: check_standin.sh <standin-binary>
# Needs xvfb-run, xprop and xwininfo (x11-utils). The window-manager part also
# needs openbox and wmctrl; it is skipped, and says so, if they are missing.
set -u

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 <standin-binary>" >&2
    exit 2
fi
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")

if [ -z "${STANDIN_CHECK_UNDER_XVFB:-}" ]; then
    # A private display keeps other windows out of the title lookups.
    exec env STANDIN_CHECK_UNDER_XVFB=1 xvfb-run -a -s "-noreset -screen 0 1280x1024x24" "$0" "$binary"
fi

work=$(mktemp -d)
started_pids=()
cleanup() {
    for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Makes <dir>/Solvanter/Solvanter.exe with the given standin.conf lines.
make_app() {
    local dir=$work/$1; shift
    mkdir -p "$dir/Solvanter"
    install -m 0755 "$binary" "$dir/Solvanter/Solvanter.exe"
    if [ $# -gt 0 ]; then printf '%s\n' "$@" > "$dir/Solvanter/standin.conf"; fi
    echo "$dir/Solvanter"
}

wait_for_file() {
    for _ in $(seq 1 200); do [ -s "$1" ] && return 0; sleep 0.05; done
    return 1
}

# Waits up to ~10 s for a child to end; sets rc to its exit status, or "timeout".
# Not run in $(...): a subshell cannot wait for this shell's children.
wait_exit() {
    local pid=$1
    for _ in $(seq 1 200); do
        if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; rc=$?; return; fi
        sleep 0.05
    done
    rc=timeout
}

net_wm_name() { xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'; }
wm_name() { xprop -id "$1" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_]*) = "\(.*\)"$/\1/p'; }

# --- window, args, SIGTERM (no window manager: the window is a root child) ---
app=$(make_app default "ready_file=$work/default.ready")
"$app/Solvanter.exe" --api http://127.0.0.1:1/api --sock ws://127.0.0.1:1/ws --web "http://x/a b" &
pid=$!; started_pids+=("$pid")
if wait_for_file "$work/default.ready"; then
    win=$(cat "$work/default.ready")
    if xwininfo -root -children | grep -q "^ *$win \"Solvanter\""; then pass "top-level window $win titled Solvanter"
    else fail "window $win not among root children"; xwininfo -root -children; fi
    [ "$(net_wm_name "$win")" = Solvanter ] && pass "_NET_WM_NAME" || fail "_NET_WM_NAME is '$(net_wm_name "$win")'"
    [ "$(wm_name "$win")" = Solvanter ] && pass "WM_NAME" || fail "WM_NAME is '$(wm_name "$win")'"
else
    fail "ready file never appeared"
fi
expected=$(printf '%s\n' "$app/Solvanter.exe" --api http://127.0.0.1:1/api --sock ws://127.0.0.1:1/ws --web "http://x/a b")
[ "$(cat "$app/args.txt" 2>/dev/null)" = "$expected" ] && pass "args.txt" || fail "args.txt: $(cat "$app/args.txt" 2>&1)"
kill -TERM "$pid"
wait_exit "$pid"
[ "$rc" = 0 ] && pass "SIGTERM exits 0" || fail "SIGTERM gave $rc"
xwininfo -root -children | grep -q '"Solvanter"' && fail "window left behind" || pass "window gone after exit"

# --- exit_code mode: messages, status, no window even without a display ---
app=$(make_app exitcode exit_code=7 "message=hello out" "error_message=bad thing")
out=$(env -u DISPLAY "$app/Solvanter.exe" --api a 2>"$work/err.txt"); rc=$?
[ "$rc" = 7 ] && pass "exit_code=7" || fail "exit_code gave $rc"
[ "$out" = "hello out" ] && pass "message on stdout" || fail "stdout '$out'"
[ "$(cat "$work/err.txt")" = "bad thing" ] && pass "error_message on stderr" || fail "stderr '$(cat "$work/err.txt")'"
[ "$(cat "$app/args.txt")" = "$(printf '%s\n' "$app/Solvanter.exe" --api a)" ] && pass "args written before exit" || fail "args.txt in exit_code mode"

# Environment overrides the file.
out=$(STANDIN_EXIT_CODE=0 STANDIN_MESSAGE=env "$app/Solvanter.exe" 2>/dev/null); rc=$?
[ "$rc:$out" = "0:env" ] && pass "STANDIN_* overrides standin.conf" || fail "override gave $rc:$out"

# --- no display ---
app=$(make_app nodisplay)
env -u DISPLAY "$app/Solvanter.exe" 2>"$work/err.txt"; rc=$?
[ "$rc" = 3 ] && pass "no display exits 3" || fail "no display gave $rc"
grep -q "cannot open X display" "$work/err.txt" && pass "no display message" || fail "stderr '$(cat "$work/err.txt")'"

# --- no_window: lives without a display, ends on lifetime or SIGTERM ---
app=$(make_app nowindow no_window=1)
env -u DISPLAY "$app/Solvanter.exe" 2>/dev/null &
pid=$!; started_pids+=("$pid")
sleep 0.5
kill -0 "$pid" 2>/dev/null && pass "no_window stays alive" || fail "no_window died"
kill -TERM "$pid"; wait_exit "$pid"
[ "$rc" = 0 ] && pass "no_window SIGTERM exits 0" || fail "no_window SIGTERM gave $rc"
start=$(date +%s%N)
STANDIN_LIFETIME_MS=300 env -u DISPLAY "$app/Solvanter.exe"; rc=$?
took=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$rc" = 0 ] && [ "$took" -ge 300 ] && [ "$took" -lt 3000 ] && pass "lifetime_ms=300 ended after ${took} ms" || fail "lifetime gave $rc after ${took} ms"

# --- window_delay_ms, custom title, SIGINT ---
app=$(make_app delayed window_delay_ms=1500 "title=Other Title" "ready_file=$work/delayed.ready")
"$app/Solvanter.exe" &
pid=$!; started_pids+=("$pid")
sleep 0.3
if xwininfo -root -children | grep -q '"Other Title"'; then fail "window opened before its delay"; else pass "no window before window_delay_ms"; fi
if wait_for_file "$work/delayed.ready"; then
    win=$(cat "$work/delayed.ready")
    [ "$(net_wm_name "$win")" = "Other Title" ] && pass "delayed window with custom title" || fail "title '$(net_wm_name "$win")'"
else
    fail "delayed window never appeared"
fi
kill -INT "$pid"; wait_exit "$pid"
[ "$rc" = 0 ] && pass "SIGINT exits 0" || fail "SIGINT gave $rc"

# --- with a window manager: _NET_CLIENT_LIST and WM_DELETE_WINDOW ---
if command -v openbox >/dev/null && command -v wmctrl >/dev/null; then
    # The window comes first: openbox can miss a window mapped while it is still starting up,
    # but always adopts the windows that exist when it starts.
    app=$(make_app withwm "ready_file=$work/wm.ready")
    "$app/Solvanter.exe" &
    pid=$!; started_pids+=("$pid")
    listed=no
    if wait_for_file "$work/wm.ready"; then
        win=$(cat "$work/wm.ready")
        openbox --sm-disable >/dev/null 2>&1 &
        wm=$!; started_pids+=("$wm")
        for _ in $(seq 1 200); do
            xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -Eq "[ ,#]$win(,|$)" && { listed=yes; break; }
            sleep 0.05
        done
    fi
    [ "$listed" = yes ] && pass "window in _NET_CLIENT_LIST" || fail "window not in _NET_CLIENT_LIST: $(xprop -root _NET_CLIENT_LIST)"
    [ "$listed" = yes ] && wmctrl -i -c "$win"
    wait_exit "$pid"
    [ "$rc" = 0 ] && pass "WM_DELETE_WINDOW exits 0" || fail "close via window manager gave $rc"
else
    echo "skipped: window-manager checks (openbox and wmctrl not installed)"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all stand-in checks passed"
