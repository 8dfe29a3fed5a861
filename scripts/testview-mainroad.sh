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
# Then ends the station (SIGTERM) and checks that it closed in order.
# Exit code 0 with the pictures written; 77 (skipped) without Xvfb, openbox,
# xwininfo or ImageMagick's import; 1 when something did not come about.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != "--inside" ]; then
  if [ $# -ne 2 ]; then
    echo "usage: $0 <kestrel-station> <output folder>"
    exit 2
  fi
  if ! command -v import >/dev/null || ! command -v xwininfo >/dev/null; then
    echo "ImageMagick's import or xwininfo is not installed: skipped"
    exit 77
  fi
  exec "$here/runinxvfb.sh" "$0" --inside "$@"
fi
shift
station=$1
out=$2
mkdir -p "$out"

work=
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  [ -n "$work" ] && rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$1"
  for f in "$work"/station/Log/*.txt "$work/station.out"; do
    [ -f "$f" ] && { echo "== $f"; tail -n 40 "$f"; }
  done
  exit 1
}

# One frame: <profile or ""> <verdict line> <picture name>
road() {
  local profile=$1 verdict=$2 name=$3
  work=$(mktemp -d)
  export HOME="$work/home"
  export XDG_CONFIG_HOME="$work/config"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME/Velora" "$work/station"
  printf '[General]\nDefaultInterface=1\nSupportSNCheck=false\nDefaultJumpToDraw=false\n' \
    >"$XDG_CONFIG_HOME/Velora/KESTREL-CUSTOMER .conf"

  cd "$work/station"
  if [ -n "$profile" ]; then
    "$station" "--emulated-frame=$profile" >"$work/station.out" 2>&1 &
  else
    "$station" --emulated-frame >"$work/station.out" 2>&1 &
  fi
  pid=$!

  # The verdict of the first test.
  local seen=
  for _ in $(seq 1 1200); do
    if grep -qsF "ShowTestResult : $verdict" Log/*.txt; then seen=1; break; fi
    kill -0 "$pid" 2>/dev/null || fail "The station ended before its verdict ($name)."
    sleep 0.05
  done
  [ -n "$seen" ] || fail "The run log never showed \"ShowTestResult : $verdict\" ($name)."

  # The view is the window titled with the station's name alone.
  local window=
  for _ in $(seq 1 200); do
    window=$(xwininfo -root -tree | awk '/"KESTREL-CUSTOMER 0\.0\.0\.6"/ { print $1; exit }')
    [ -n "$window" ] && break
    sleep 0.05
  done
  [ -n "$window" ] || fail "No window of the signal test ($name)."

  # Grabbed until two grabs in a row agree (the refresh draws the same
  # verdict again and again).
  local picture="$out/$name" previous="$work/previous.png" current="$work/current.png" settled=
  rm -f "$picture"
  for _ in $(seq 1 60); do
    import -window "$window" "$current" 2>/dev/null || fail "The window cannot be grabbed ($name)."
    if [ -f "$previous" ] && cmp -s "$previous" "$current"; then settled=1; break; fi
    mv "$current" "$previous"
    sleep 0.25
  done
  # The histograms repaint at every tick: the last grab stands.
  [ -n "$settled" ] || mv "$previous" "$current"
  mv "$current" "$picture"

  kill -TERM "$pid"
  wait "$pid"
  local code=$?
  pid=
  [ "$code" -eq 0 ] || fail "The station ended with exit code $code ($name)."
  grep -qs 'The App will exit, and the exit code is 0' Log/*.txt || fail "The station did not close in order ($name)."
  echo "$verdict: $picture"
  cd /
  rm -rf "$work"
  work=
}

road "" "PASS PASS" mainroad-pass.png
road dead-emitter "NG NG2" mainroad-ng2.png
road broken-connector "NG NG1" mainroad-ng1.png
