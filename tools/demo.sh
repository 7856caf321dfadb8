#!/usr/bin/env bash
# The product's main job, on the embedded test-pattern camera: a hidden host serves two clients,
# runs the camera in the larger of their sizes, delivers frames to the ring, switches camera on
# a client's request while the clients stay, lets two applications open "Fontis Virtual Camera"
# at different sizes beside them, and ends by itself once they have all left. At the end,
# a timeline of what a client saw in the status record, merged with the demo's own steps.
#
#   tools/demo.sh BIN_FOLDER      (./run demo does this in the build's Wine prefix)
set -euo pipefail
BIN="$1"
INSTANCE="FontisDemo"
WORK="$(mktemp -d "${TMPDIR:-/tmp}/fontis-demo.XXXXXX")"
FOLLOW_LOG="$WORK/status-follow.log"
STEPS_LOG="$WORK/steps.log"
ctl() { wine "$BIN/fontisctl.exe" "$@"; }
# Started without the function, so that $! is the program's own process (wine execs into it) and
# Ctrl+C (SIGINT) reaches it.
ctl_background() { wine "$BIN/fontisctl.exe" "$@" & }
now() { date +%H:%M:%S.%3N; }
step() {
  printf '\n== %s\n' "$*"
  printf '%s demo: %s\n' "$(now)" "$*" >>"$STEPS_LOG"
}
# Waits up to $1 seconds for the host to have let go of the instance.
wait_host_gone() {
  local deadline=$((SECONDS + $1))
  while [ "$SECONDS" -lt "$deadline" ]; do
    grep -q ' host=none state=3 ' "$FOLLOW_LOG" && return 0
    sleep 0.3
  done
  return 1
}

JOIN_A="" JOIN_B="" FOLLOW="" APP_1="" APP_2=""
cleanup() {
  set +e
  for pid in $JOIN_A $JOIN_B $FOLLOW $APP_1 $APP_2; do kill "$pid" 2>/dev/null; done
  wine regsvr32 /s /u "$BIN/fontis_vcam.dll"
  ctl vcam --reset >/dev/null
  wine regsvr32 /s /u "$BIN/fontis_testcam.dll"
  wine regsvr32 /s /u "$BIN/fontis_renderer.dll"
}
trap cleanup EXIT

step "regsvr32 fontis_testcam.dll fontis_renderer.dll   (test-pattern cameras and our capture renderer)"
wine regsvr32 /s "$BIN/fontis_testcam.dll"
wine regsvr32 /s "$BIN/fontis_renderer.dll"
step "fontisctl devices"
ctl devices
PICTURE="$(winepath -w "$WORK/capture-testcam.bmp")"
step "fontisctl capture \"Fontis Test Camera\" --size 640x480 --subtype YUY2 --frames 3   (as a capture application opens a camera)"
ctl capture "Fontis Test Camera" --size 640x480 --subtype YUY2 --frames 3 --out "$PICTURE"

# A client's view of the instance, every change of the status record and its events.
ctl_background status "$INSTANCE" --follow 120 >"$FOLLOW_LOG" 2>&1
FOLLOW=$!

step "client A registers: fontisctl join $INSTANCE --want-video --size 640x480"
ctl_background join "$INSTANCE" --want-video --size 640x480 >"$WORK/client-a.log" 2>&1
JOIN_A=$!
sleep 1
step "client A starts a hidden host as clients do: fontisctl launch $INSTANCE \"Fontis Test Camera\" GUID_NULL FALSE"
ctl launch "$INSTANCE" "Fontis Test Camera" "{00000000-0000-0000-0000-000000000000}" FALSE
step "client B registers: fontisctl join $INSTANCE --want-video --size 1280x720"
ctl_background join "$INSTANCE" --want-video --size 1280x720 >"$WORK/client-b.log" 2>&1
JOIN_B=$!
sleep 3

step "fontisctl clients $INSTANCE"
ctl clients "$INSTANCE"
step "fontisctl status $INSTANCE   (state 9: the graph runs)"
ctl status "$INSTANCE"
step "fontisctl frames $INSTANCE --seconds 2   (frames flow)"
ctl frames "$INSTANCE" --seconds 2
step "fontisctl snapshot   (a live frame: the camera runs at the larger size, 1280x720)"
ctl snapshot "$INSTANCE" "$(winepath -w "$WORK/frame-camera1.bmp")"
echo "picture: $WORK/frame-camera1.bmp"

step "a client asks for the second camera: fontisctl switch $INSTANCE \"Fontis Second Camera\""
ctl switch "$INSTANCE" "Fontis Second Camera"
sleep 2
step "fontisctl frames $INSTANCE --seconds 2   (the second camera's frames, the clients still there)"
ctl frames "$INSTANCE" --seconds 2
ctl snapshot "$INSTANCE" "$(winepath -w "$WORK/frame-camera2.bmp")"
echo "picture: $WORK/frame-camera2.bmp"

step "the virtual camera: regsvr32 fontis_vcam.dll, and fontisctl vcam --instance $INSTANCE"
wine regsvr32 /s "$BIN/fontis_vcam.dll"
ctl vcam --instance "$INSTANCE"
step "two applications open \"Fontis Virtual Camera\" at once: fontisctl capture at 640x480 RGB24 and at 1280x720 NV12"
APP_SMALL="$(winepath -w "$WORK/vcam-640x480.bmp")"
APP_LARGE="$(winepath -w "$WORK/vcam-1280x720.bmp")"
ctl_background capture "Fontis Virtual Camera" --size 640x480 --subtype RGB24 --frames 90 --out "$APP_SMALL" \
  >"$WORK/app-small.log" 2>&1
APP_1=$!
ctl_background capture "Fontis Virtual Camera" --size 1280x720 --subtype NV12 --frames 90 --out "$APP_LARGE" \
  >"$WORK/app-large.log" 2>&1
APP_2=$!
sleep 2
step "fontisctl clients $INSTANCE   (A, B and the two applications, each with its program)"
ctl clients "$INSTANCE"
wait "$APP_1" "$APP_2" || true
APP_1="" APP_2=""
grep -h "^saved" "$WORK/app-small.log" "$WORK/app-large.log" || cat "$WORK/app-small.log" "$WORK/app-large.log"
echo "pictures: $WORK/vcam-640x480.bmp $WORK/vcam-1280x720.bmp   (the second camera's, through the virtual camera)"

step "the clients leave (Ctrl+C to both fontisctl join)"
kill -INT "$JOIN_A" "$JOIN_B"
wait "$JOIN_A" "$JOIN_B" || true
JOIN_A="" JOIN_B=""
cat "$WORK/client-a.log" "$WORK/client-b.log"
if wait_host_gone 20; then
  step "the host has ended by itself: no host holds $INSTANCE, its graph released"
else
  step "the host is still there after 20 s"
fi
ctl status "$INSTANCE" | head -3 || true
kill "$FOLLOW" 2>/dev/null || true
wait "$FOLLOW" 2>/dev/null || true
FOLLOW=""

printf '\n== timeline: what a client saw in the status record, and the demo'\''s steps\n'
# Follow lines: "HH:MM:SS.mmm +NNNNNms host=... state=...": shortened to what a reader needs.
sed -E -e 's/^([0-9:.]+) \+ *[0-9]+ms /\1 client sees: /' -e 's/ (pending|released|hostCondition)=[0-9]+//g' \
  -e 's/ device-change=[a-z]+//' -e 's/ \{[0-9A-F-]+\}//' \
  "$FOLLOW_LOG" | grep -E '^[0-9]{2}:' | cat - "$STEPS_LOG" | sort -s -k1,1
echo
echo "files: $WORK"
