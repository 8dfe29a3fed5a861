#!/usr/bin/env bash
# Ends a test server once the process it serves is gone, so that a test or a
# CTest run that crashes or is killed leaves nothing listening.
#
# Sourced by ftpserver.sh and pgserver.sh for the owner's record, and run by
# them, detached, as the watcher of each server they start:
#
#   serverwatch.sh STATE SERVER COMMAND...
#
# The owner is a pid recorded with its start time in STATE/owner (so that a
# pid taken by another process since counts as gone). The watcher looks
# twice a second: when SERVER (a pid) has ended it ends too; when the owner
# is gone while SERVER runs, it runs COMMAND (which stops the server) and
# ends. The record is read and changed under the lock STATE/owner.lock, which
# the scripts hold while they start a server or take it over, so a server
# is never stopped by its watcher just after a new owner took it.

# The process's start time (field 22 of its stat), empty when it is gone or
# a zombie.
sw_started() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    [ "$1" != Z ] && echo "${20}"
}

# Takes the lock of the state folder $1 on descriptor 9 (at most 60 s). Every
# process started while it is held must be given 9>&- (or it keeps the lock).
sw_lock() {
    exec 9>>"$1/owner.lock"
    flock -w 60 9
}

# Whether the owner recorded in the state folder $1 still runs.
sw_owner_alive() {
    local pid start
    read -r pid start 2>/dev/null <"$1/owner" || return 1
    [ -n "$pid" ] && [ -n "$start" ] && [ "$(sw_started "$pid")" = "$start" ]
}

# Records pid $2 as the owner in the state folder $1.
sw_set_owner() {
    echo "$2 $(sw_started "$2")" >"$1/owner"
}

# The owner of a server taken over: the recorded one while it runs (a CTest
# run that started the fixture keeps it for all its tests), else pid $2.
sw_claim() {
    sw_owner_alive "$1" || sw_set_owner "$1" "$2"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -uo pipefail
    state=${1:?state folder}
    server=${2:?server pid}
    shift 2
    exec 9>>"$state/owner.lock"
    while :; do
        sleep 0.5
        flock -w 60 9 || continue
        [ -n "$(sw_started "$server")" ] || exit 0
        if ! sw_owner_alive "$state"; then
            echo "serverwatch: the owner of $server is gone, the server is stopped"
            "$@" 9>&-
            exit 0
        fi
        flock -u 9
    done
fi
