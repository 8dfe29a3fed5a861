#!/usr/bin/env bash
# The signal-test view in a real window: starts the station with an emulated
# frame in a fresh X server with a window manager (runinxvfb.sh), in a fresh
# working folder and with fresh settings that open the signal test at start
# ("DefaultInterface" 1), waits until the run log says the frame has been
# read, and grabs the view once its window has settled:
#   testview-window.sh <kestrel-station> <picture.png>
# Then ends the station (SIGTERM) and checks that it closed in order.
# Exit code 0 with the picture written; 77 (skipped) without Xvfb, openbox,
# xwininfo or ImageMagick's import; 1 when something did not come about.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" != "--inside" ]; then
  if [ $# -ne 2 ]; then
    echo "usage: $0 <kestrel-station> <picture.png>"
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
picture=$2

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$1"
  for f in "$work"/station/Log/*.txt "$work/station.out"; do
    [ -f "$f" ] && { echo "== $f"; tail -n 40 "$f"; }
  done
  exit 1
}

# Settings of this run only: the signal test opens at start (its run asks
# for no serial number and opens no draw test).
export HOME="$work/home"
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Velora" "$work/station"
printf '[General]\nDefaultInterface=1\nSupportSNCheck=false\nDefaultJumpToDraw=false\n' >"$XDG_CONFIG_HOME/Velora/KESTREL-CUSTOMER .conf"

cd "$work/station"
"$station" --emulated-frame >"$work/station.out" 2>&1 &
pid=$!

# The frame's information has been read (and handed to the view).
read_line=
for _ in $(seq 1 1200); do
  if grep -qs 'The station read:' Log/*.txt; then read_line=1; break; fi
  kill -0 "$pid" 2>/dev/null || fail "The station ended before it read the frame."
  sleep 0.05
done
[ -n "$read_line" ] || fail "The run log never said that the frame was read."

# The view is the window titled with the station's name alone (the main
# window's title carries the emulated-frame mark).
window=
for _ in $(seq 1 200); do
  window=$(xwininfo -root -tree | awk '/"KESTREL-CUSTOMER 0\.0\.0\.6"/ { print $1; exit }')
  [ -n "$window" ] && break
  sleep 0.05
done
[ -n "$window" ] || fail "No window of the signal test."

# Grabbed until two grabs in a row agree: the window has drawn what it was given.
mkdir -p "$(dirname "$picture")"
rm -f "$picture"
previous="$work/previous.png"
current="$work/current.png"
settled=
for _ in $(seq 1 40); do
  import -window "$window" "$current" 2>/dev/null || fail "The window cannot be grabbed."
  if [ -f "$previous" ] && cmp -s "$previous" "$current"; then settled=1; break; fi
  mv "$current" "$previous"
  sleep 0.25
done
[ -n "$settled" ] || fail "The window never settled."
mv "$current" "$picture"

kill -TERM "$pid"
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || fail "The station ended with exit code $code."
grep -qs 'The App will exit, and the exit code is 0' Log/*.txt || fail "The station did not close in order."
echo "The signal test's window: $picture"
