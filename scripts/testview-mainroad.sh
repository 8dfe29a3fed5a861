#!/usr/bin/env bash
# The main road of a signal test in a real window: for each emulated frame
# (healthy, a dead emitter, a broken connector) starts the station in a fresh
# X server with a window manager (runinxvfb.sh), in a fresh working folder
# and with fresh settings that open the signal test at start
# ("DefaultInterface" 1, no serial-number prompt, no draw test after a pass),
# waits until the run log shows the verdict of the first test, and grabs the
# view once its window has settled:
#   testview-mainroad.sh <kestrel-station> <output folder>
# writes mainroad-pass.png, mainroad-ng2.png and mainroad-ng1.png there.
# Each time it ends the station (SIGTERM) and checks that it closed in order.
# Exit code 0 with the pictures written; 77 (skipped) without Xvfb, openbox,
# xwininfo or ImageMagick's import; 1 when something did not come about.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/testview-lib.sh"

tv_enter_xvfb "$here/$(basename "$0")" 2 "<kestrel-station> <output folder>" "$@"
shift
station=$1
out=$2
mkdir -p "$out"

work=
pid=
trap tv_cleanup EXIT

# One frame: <profile or ""> <verdict line> <picture name>
road() {
  local profile=$1 verdict=$2 name=$3
  work=$(mktemp -d)
  tv_settings
  cd "$work/station"
  "$station" "--emulated-frame${profile:+=$profile}" >"$work/station.out" 2>&1 &
  pid=$!
  tv_wait_log "ShowTestResult : $verdict" "the verdict of $name"
  local window
  window=$(tv_view_window) || tv_fail "No window of the signal test ($name)."
  # The refresh draws the same verdict again and again; the histograms may
  # repaint at every tick.
  tv_grab "$window" "$out/$name" 60 last
  tv_stop
  echo "$verdict: $out/$name"
  cd /
  rm -rf "$work"
  work=
}

road "" "PASS PASS" mainroad-pass.png
road dead-emitter "NG NG2" mainroad-ng2.png
road broken-connector "NG NG1" mainroad-ng1.png
