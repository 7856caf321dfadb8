#!/usr/bin/env bash
# Demo: start a hidden host for an instance and show, as a client sees it, what the host
# publishes in the instance's status record while it starts and ends.
set -euo pipefail
BIN="$1"
INSTANCE="FontisDemo"
echo "== fontisctl status $INSTANCE --follow 8   (every change of the record, as a client sees it)"
wine "$BIN/fontisctl.exe" status "$INSTANCE" --follow 8 &
FOLLOW=$!
sleep 1
echo "== fontisctl launch $INSTANCE \"Demo Camera\" {00000000-0000-0000-0000-000000000000} FALSE"
wine "$BIN/fontisctl.exe" launch "$INSTANCE" "Demo Camera" "{00000000-0000-0000-0000-000000000000}" FALSE
sleep 2
echo "== fontisctl status $INSTANCE"
wine "$BIN/fontisctl.exe" status "$INSTANCE" || true
wait "$FOLLOW" || true
