#!/usr/bin/env bash
# Ends a test server once the process it serves is gone, so that a test that
# crashes or is killed leaves nothing listening.
#
#   serverwatch.sh OWNER SERVER COMMAND...
#
# Watches OWNER (a pid) and SERVER (the server's pid); when OWNER is gone
# (ended, a zombie, or its pid taken by another process since) while SERVER
# still runs, runs COMMAND (which stops the server) and ends. It ends by
# itself as soon as SERVER is gone. Started detached by ftpserver.sh and
# pgserver.sh; it holds no descriptor of its caller.
set -uo pipefail
owner=${1:?owner pid}
server=${2:?server pid}
shift 2

# The process's start time (field 22 of its stat), empty when it is gone or
# a zombie.
started() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
    stat=${stat##*) }
    set -- $stat
    [ "$1" != Z ] && echo "${20}"
}

owner_start=$(started "$owner")
while :; do
    [ -n "$(started "$server")" ] || exit 0
    if [ -z "$owner_start" ] || [ "$(started "$owner")" != "$owner_start" ]; then
        echo "serverwatch: $owner is gone, ending server $server"
        "$@"
        exit 0
    fi
    sleep 0.5
done
