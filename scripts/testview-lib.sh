# Shared by the window checks of the signal-test view (sourced, not run):
# entering a fresh X server, fresh settings, the station's run, the view's
# window and its settled picture. The caller sets "work" (its folder) and
# "pid" (the station's process) and traps tv_cleanup on EXIT.

# Re-runs the calling script inside runinxvfb.sh unless it is there already;
# returns (with the arguments shifted) when it is. 77 without ImageMagick's
# import, xwininfo or xprop.
#   tv_enter_xvfb <script> <number of arguments> <usage> "$@"
tv_enter_xvfb() {
  local script=$1 count=$2 usage=$3
  shift 3
  [ "${1:-}" = "--inside" ] && return 0
  if [ $# -ne "$count" ]; then
    echo "usage: $script $usage"
    exit 2
  fi
  if ! command -v import >/dev/null || ! command -v xwininfo >/dev/null || ! command -v xprop >/dev/null; then
    echo "ImageMagick's import, xwininfo or xprop is not installed: skipped"
    exit 77
  fi
  exec "$(dirname "$script")/runinxvfb.sh" "$script" --inside "$@"
}

tv_cleanup() {
  if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  [ -n "${work:-}" ] && rm -rf "$work"
}

tv_fail() {
  echo "$1"
  for f in "$work"/station/Log/*.txt "$work/station.out"; do
    [ -f "$f" ] && { echo "== $f"; tail -n 40 "$f"; }
  done
  exit 1
}

# Settings of this run only: the signal test opens at start, its run asks for
# no serial number and opens no draw test.
tv_settings() {
  export HOME="$work/home"
  export XDG_CONFIG_HOME="$work/config"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME/Velora" "$work/station"
  printf '[General]\nDefaultInterface=1\nSupportSNCheck=false\nDefaultJumpToDraw=false\n' \
    >"$XDG_CONFIG_HOME/Velora/KESTREL-CUSTOMER .conf"
}

# Waits until a run log line contains the text (fixed string); fails with the
# message when the station ends first or it never comes.
tv_wait_log() {
  local text=$1 what=$2
  for _ in $(seq 1 1200); do
    grep -qsF "$text" Log/*.txt && return 0
    kill -0 "$pid" 2>/dev/null || tv_fail "The station ended before $what."
    sleep 0.05
  done
  tv_fail "The run log never showed \"$text\" ($what)."
}

# The view is the dialog among the windows titled with the station's name
# (the main window and the work views all carry it, with the emulated-frame
# mark): its id on stdout.
tv_view_window() {
  local window=
  for _ in $(seq 1 200); do
    for window in $(xwininfo -root -tree | awk '/"KESTREL-CUSTOMER 0\.0\.0\.6[^"]*"/ { print $1 }'); do
      xprop -id "$window" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG \
        && { echo "$window"; return 0; }
    done
    sleep 0.05
  done
  return 1
}

# Grabs the window into the picture until two grabs in a row agree (it has
# drawn what it was given); with "last" the last grab stands when they never
# do (a page that repaints at every tick).
#   tv_grab <window> <picture> <tries> [last]
tv_grab() {
  local window=$1 picture=$2 tries=$3 last=${4:-}
  local previous="$work/previous.png" current="$work/current.png" settled=
  mkdir -p "$(dirname "$picture")"
  rm -f "$picture" "$previous"
  for _ in $(seq 1 "$tries"); do
    import -window "$window" "$current" 2>/dev/null || tv_fail "The window cannot be grabbed."
    if [ -f "$previous" ] && cmp -s "$previous" "$current"; then settled=1; break; fi
    mv "$current" "$previous"
    sleep 0.25
  done
  if [ -z "$settled" ]; then
    [ -n "$last" ] || tv_fail "The window never settled."
    mv "$previous" "$current"
  fi
  mv "$current" "$picture"
}

# Ends the station (SIGTERM) and checks that it closed in order.
tv_stop() {
  kill -TERM "$pid"
  wait "$pid"
  local code=$?
  pid=
  [ "$code" -eq 0 ] || tv_fail "The station ended with exit code $code."
  grep -qs 'The App will exit, and the exit code is 0' Log/*.txt || tv_fail "The station did not close in order."
}
