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
. "$here/testview-lib.sh"

tv_enter_xvfb "$here/$(basename "$0")" 2 "<kestrel-station> <picture.png>" "$@"
shift
station=$1
picture=$2

work=$(mktemp -d)
pid=
trap tv_cleanup EXIT
tv_settings

cd "$work/station"
"$station" --emulated-frame >"$work/station.out" 2>&1 &
pid=$!

# The frame's information has been read (and handed to the view).
tv_wait_log 'The station read:' "it read the frame"
window=$(tv_view_window) || tv_fail "No window of the signal test."
tv_grab "$window" "$picture" 40
tv_stop
echo "The signal test's window: $picture"
