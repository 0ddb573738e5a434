#!/usr/bin/env bash
# run.sh's start of the dev backend on a port that another server holds: it stops with a message
# naming the port, leaves that server alone and leaves no backend of its own running.
# Usage: dev_backend_start_test.sh <build folder>
set -u
export BUILD_DIR=$1
source "$(dirname "$0")/../../tools/common.sh"

work=$(mktemp -d)
holder=
trap '[ -n "$holder" ] && kill "$holder" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$BUILD_DIR/bin/solvanter-dev-backend" --port 0 --port-file "$work/holder.port" >"$work/holder.log" 2>&1 &
holder=$!
while [ ! -s "$work/holder.port" ]; do
    kill -0 "$holder" 2>/dev/null || fail "the holding server did not start: $(cat "$work/holder.log")"
    sleep 0.1
done
DEV_PORT=$(cat "$work/holder.port")

BACKEND_PID=unset
start_dev_backend "$work/backend.log" 2>"$work/message" && fail "started on a taken port"
grep -q "could not listen on 127.0.0.1:$DEV_PORT" "$work/message" || fail "message: $(cat "$work/message")"
[ -z "$BACKEND_PID" ] || fail "BACKEND_PID still names $BACKEND_PID"
kill -0 "$holder" 2>/dev/null || fail "the holding server was stopped"
echo "ok: refused port $DEV_PORT: $(head -n 1 "$work/message")"
