# Helpers for trying the running station by hand or from a script, with an
# emulated frame, on an X display that is already up (Xvfb with openbox, or a
# desktop). Sourced, not run:
#
#   source scripts/emulated-trial.sh
#   et_start /tmp/try1 dead-emitter   # scratch folder, own HOME and settings
#   et_pull /tmp/try1; et_plug /tmp/try1
#   et_shot /tmp/shots/step1.png; et_windows
#   et_stop /tmp/try1                 # SIGTERM: the station ends in order
#
# The folder gets the sample parameter table and the firmware image
# emulated-frame.bin; its Log/ holds the run log. ET_BIN names the program
# (default: build/src/app/kestrel-station of this checkout). Needs xdotool for
# et_windows and ImageMagick's import for et_shot.

et_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ET_BIN=${ET_BIN:-$et_root/build/src/app/kestrel-station}

# et_start <folder> [profile]: starts the station there and waits for its run
# log to name the frame it read (up to 20 s).
et_start() {
  local dir=$1 profile=${2:-}
  if [ -z "${DISPLAY:-}" ]; then
    echo "no X display: set DISPLAY (and XAUTHORITY) first" >&2
    return 1
  fi
  mkdir -p "$dir/home/.config" "$dir/run"
  chmod 700 "$dir/run"
  cp -n "$et_root/packaging/sample/TouchTestInfo-V0001.csv" "$dir/"
  cp -n "$(dirname "$(dirname "$ET_BIN")")/device/emulated/emulated-frame.bin" "$dir/"
  (cd "$dir" && HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config XDG_RUNTIME_DIR=$dir/run \
      LANG=${LANG:-C.UTF-8} setsid "$ET_BIN" --emulated-frame${profile:+=$profile} \
      >"$dir/stdout.txt" 2>"$dir/stderr.txt" &)
  local i
  for i in $(seq 1 200); do
    grep -qs 'Init MainWindow' "$dir"/Log/* && [ -n "$(et_pid "$dir")" ] && return 0
    sleep 0.1
  done
  echo "the station in $dir did not start (see $dir/stderr.txt)" >&2
  return 1
}

# et_pid <folder>: the process id of the station running in that folder.
et_pid() {
  local dir p
  dir=$(cd "$1" && pwd)
  for p in $(pgrep -x "$(basename "$ET_BIN" | cut -c1-15)"); do
    [ "$(readlink "/proc/$p/exe" 2>/dev/null)" = "$ET_BIN" ] && [ "$(readlink "/proc/$p/cwd" 2>/dev/null)" = "$dir" ] \
      && echo "$p"
  done
}

et_pull() { kill -USR1 "$(et_pid "$1")"; }
et_plug() { kill -USR2 "$(et_pid "$1")"; }
et_stop() { kill -TERM "$(et_pid "$1")"; }

# et_log <folder>: the newest run log of that folder.
et_log() { ls -t "$1"/Log/* | head -1; }

et_shot() { import -window root "$1"; }

# et_windows: id, title and geometry of every shown window.
et_windows() {
  local w
  for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
    echo "$w $(xdotool getwindowname "$w") $(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')"
  done
}
