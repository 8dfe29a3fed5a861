#!/usr/bin/env bash
# Runs a command in a fresh X server (Xvfb) with a window manager (openbox),
# where window activation behaves as on an operator's desktop:
#   runinxvfb.sh <command> [arguments...]
# Exit code: the command's; 77 (skipped) when Xvfb or openbox is missing.
set -uo pipefail

if ! command -v Xvfb >/dev/null || ! command -v openbox >/dev/null; then
  echo "Xvfb or openbox is not installed: skipped"
  exit 77
fi

tmp=$(mktemp -d)
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to the given descriptor.
exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
x_pid=$!
exec 3>&-
for _ in $(seq 1 200); do
  [ -s "$tmp/display" ] && break
  sleep 0.05
done
if [ ! -s "$tmp/display" ]; then
  echo "Xvfb did not start:"; cat "$tmp/xvfb.log"
  exit 1
fi
export DISPLAY=":$(head -n1 "$tmp/display")"

openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
wm_pid=$!
# openbox is ready once it owns the window-manager selection of screen 0.
for _ in $(seq 1 200); do
  if command -v xprop >/dev/null; then
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  else
    sleep 0.5; break
  fi
  sleep 0.05
done

export QT_QPA_PLATFORM=xcb
# No window of the station draws with OpenGL: Mesa's GLX stays unloaded (it
# leaves memory behind in a module it unloads, which no leak suppression
# can name).
export QT_XCB_GL_INTEGRATION=none
# Under AddressSanitizer: libxkbcommon-x11 copies X atom names, which are not
# NUL-terminated, with strndup (which allows that); the strict string check
# would take it for an overflow.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
export XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# No session bus. Under xcb, Qt's accessibility bridge asks for one as soon as
# a widget is shown; without an address, libdbus would "autolaunch" one
# through dbus-launch bound to this X display (a daemon that outlives the
# test where dbus-x11 is installed, and a leaked read buffer in libdbus where
# it is not). An address where nothing listens fails at once, and the bridge
# stays off.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/no-session-bus"
unset AT_SPI_BUS_ADDRESS QT_LINUX_ACCESSIBILITY_ALWAYS_ON
"$@"
