#!/usr/bin/env bash
# Runs installer_tests in a fresh Wine prefix under WORK (made anew each time) with a wineserver of
# its own, so that installing and removing the product never touches the prefix the other tests
# share. It uses the X display of the run (./run test starts one).
#   run_installer_tests.sh INSTALLER_TESTS.exe WORK
set -euo pipefail
TESTS="$1"
WORK="$2"

if [ -z "${DISPLAY:-}" ]; then
  echo "installer tests: no X display; run them through ./run test" >&2
  exit 1
fi
export WINEPREFIX="$WORK/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

WINESERVER_PID=""
stop_wineserver() {
  set +e
  if [ -n "$WINESERVER_PID" ]; then
    wineserver -k >/dev/null 2>&1  # this prefix's server only: WINEPREFIX is ours
    kill "$WINESERVER_PID" 2>/dev/null
    wait "$WINESERVER_PID" 2>/dev/null
    WINESERVER_PID=""
  fi
}
trap stop_wineserver EXIT

rm -rf "$WORK"
mkdir -p "$WINEPREFIX"
wineserver -f -p >/dev/null 2>&1 &
WINESERVER_PID=$!
wine wineboot -i </dev/null >/dev/null 2>&1 || true
rc=0
wine "$TESTS" --gtest_brief=1 </dev/null || rc=$?
stop_wineserver
trap - EXIT
# A failed run keeps its prefix to look into; a passed one frees the space.
[ "$rc" -ne 0 ] || rm -rf "$WORK"
exit "$rc"
