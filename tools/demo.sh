#!/usr/bin/env bash
# Demo: what a client sees of an instance. Registers the test-pattern camera, lists the cameras
# as the host finds them, opens one as a capture application does and saves a picture, starts a hidden host the way a client does while watching its status
# record, and registers two clients in the request channel.
set -euo pipefail
BIN="$1"
INSTANCE="FontisDemo"
ctl() { wine "$BIN/fontisctl.exe" "$@"; }

echo "== regsvr32 fontis_testcam.dll   (the test-pattern cameras join the video input devices)"
wine regsvr32 /s "$BIN/fontis_testcam.dll"
echo "== fontisctl devices"
ctl devices
PICTURE="$(winepath -w "$BIN/demo-testcam.bmp")"
echo "== fontisctl capture \"Fontis Test Camera\" --size 640x480 --subtype YUY2 --frames 3 --out $PICTURE"
ctl capture "Fontis Test Camera" --size 640x480 --subtype YUY2 --frames 3 --out "$PICTURE"

echo "== fontisctl status $INSTANCE --follow 10   (every change of the record, as a client sees it)"
ctl status "$INSTANCE" --follow 10 &
FOLLOW=$!
sleep 1
echo "== fontisctl launch $INSTANCE \"Fontis Test Camera\" {00000000-0000-0000-0000-000000000000} FALSE"
ctl launch "$INSTANCE" "Fontis Test Camera" "{00000000-0000-0000-0000-000000000000}" FALSE

echo "== two clients register: fontisctl join $INSTANCE --want-video --size 1280x720 / --size 640x480"
ctl join "$INSTANCE" --want-video --size 1280x720 --hold 4 &
JOIN1=$!
ctl join "$INSTANCE" --size 640x480 --subtype YUY2 --hold 4 &
JOIN2=$!
sleep 2
echo "== fontisctl clients $INSTANCE"
ctl clients "$INSTANCE" || true
echo "== fontisctl status $INSTANCE"
ctl status "$INSTANCE" || true
wait "$JOIN1" "$JOIN2" || true
wait "$FOLLOW" || true
wine regsvr32 /s /u "$BIN/fontis_testcam.dll"
