#!/usr/bin/env bash
# Checks the stand-in application, so the launcher's tests can trust it: its window and title, the
# command line it records, exit_code mode, no_window with lifetime_ms, window_delay_ms, and a clean
# end on SIGTERM.
# Usage: check_standin.sh <standin-binary>   (needs xvfb-run, and xprop and xwininfo from x11-utils)
set -u
if [ $# -ne 1 ] || [ ! -x "$1" ]; then echo "usage: $0 <standin-binary>" >&2; exit 2; fi
binary=$(realpath "$1")
if [ -z "${STANDIN_CHECK_UNDER_XVFB:-}" ]; then
    # A private display keeps other windows out of the title lookups.
    exec env STANDIN_CHECK_UNDER_XVFB=1 xvfb-run -a -s "-noreset -screen 0 1280x1024x24" "$0" "$binary"
fi

work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
check() {
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}

# <work>/<name>/Solvanter/Solvanter.exe with the given standin.conf lines.
make_app() {
    local dir=$work/$1/Solvanter; shift
    mkdir -p "$dir" && install -m 0755 "$binary" "$dir/Solvanter.exe" && printf '%s\n' "$@" > "$dir/standin.conf"
    echo "$dir"
}

app=$(make_app window "ready_file=$work/ready")
args=(--api http://127.0.0.1:1/api --sock ws://127.0.0.1:1/ws --web "http://x/a b")
"$app/Solvanter.exe" "${args[@]}" &
pid=$!
for _ in $(seq 200); do [ -s "$work/ready" ] && break; sleep 0.05; done
win=$(cat "$work/ready" 2>/dev/null)
check "top-level window $win titled Solvanter" grep -q "^ *$win \"Solvanter\"" <(xwininfo -root -children)
check "_NET_WM_NAME and WM_NAME" test "$(xprop -id "${win:-0}" _NET_WM_NAME WM_NAME 2>&1)" \
    = $'_NET_WM_NAME(UTF8_STRING) = "Solvanter"\nWM_NAME(STRING) = "Solvanter"'
check "args.txt holds the command line" cmp -s <(printf '%s\n' "$app/Solvanter.exe" "${args[@]}") "$app/args.txt"
kill -TERM "$pid" 2>/dev/null
sent=$?
for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
kill -KILL "$pid" 2>/dev/null
wait "$pid"
check "alive until SIGTERM, then exits 0" test "$sent|$?" = "0|0"
pid=
check "window gone after exit" test -z "$(xwininfo -root -children | grep '"Solvanter"')"

app=$(make_app exitcode exit_code=7 "message=hello out")
out=$(env -u DISPLAY "$app/Solvanter.exe" --api a)
check "exit_code=7 with its message, no display needed" test "$?|$out" = "7|hello out"
check "args written in exit_code mode" cmp -s <(printf '%s\n' "$app/Solvanter.exe" --api a) "$app/args.txt"
out=$(STANDIN_EXIT_CODE=0 STANDIN_MESSAGE=env "$app/Solvanter.exe" 2>/dev/null)
check "STANDIN_* overrides standin.conf" test "$?|$out" = "0|env"

app=$(make_app nowindow no_window=1 lifetime_ms=300)
start=$(date +%s%N)
env -u DISPLAY "$app/Solvanter.exe" 2>/dev/null
rc=$? took=$((($(date +%s%N) - start) / 1000000))
check "no_window lives lifetime_ms=300 without a display, then exits 0 (${took} ms)" test "$rc" = 0 -a "$took" -ge 300

app=$(make_app delayed "title=Overridden" window_delay_ms=400 lifetime_ms=3000 "ready_file=$work/ready2")
start=$(date +%s%N)
STANDIN_TITLE="Later app" "$app/Solvanter.exe" &
pid=$!
for _ in $(seq 200); do [ -s "$work/ready2" ] && break; sleep 0.05; done
took=$((($(date +%s%N) - start) / 1000000))
check "window_delay_ms=400 delays the window titled by STANDIN_TITLE (${took} ms)" \
    test -n "$(xwininfo -root -children | grep '"Later app"')" -a "$took" -ge 400
wait "$pid"
check "lifetime_ms=3000 ends a windowed run with 0" test "$?" = 0
pid=

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all stand-in checks passed"
