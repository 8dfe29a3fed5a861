#!/usr/bin/env bash
# A throw-away FTP server on 127.0.0.1 for the upload tests (pyftpdlib).
#
#   ftpserver.sh start  STATE [OWNER]   new root, random user and password, port chosen by the system
#   ftpserver.sh pause  STATE           stops the server, keeps root, port and logs
#   ftpserver.sh resume STATE [OWNER]   starts it again on the same port
#   ftpserver.sh stop   STATE           stops the server and removes what start made
#
# The server serves the process OWNER (a pid; by default the caller, this
# script's parent: CTest for a fixture). A resume keeps the owner of the
# start while that one runs (a CTest run's tests share the server) and takes
# OWNER otherwise (a test run alone). A watcher (serverwatch.sh) stops the
# server once its owner is gone, so a test or a CTest run that crashes or is
# killed leaves nothing listening.
#
# STATE receives ftp.env (FTP_PORT FTP_USER FTP_PASSWORD FTP_ROOT
# FTP_COMMAND_LOG FTP_TRANSFER_LOG FTP_SWITCH), the root folder, the command
# and transfer logs and the server's output. The switch file changes the
# server's behaviour while it runs (see ftpserver.py): for instance
#   echo "throttle 2048" > STATE/switch     uploads at 2 KiB/s at most
#   : > STATE/switch                        a normal server again Every wait is bounded.
set -euo pipefail
cmd=${1:?start|pause|resume|stop}
state=${2:?state folder}
owner=${3:-$PPID}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$state"
state=$(cd "$state" && pwd)
# The servers inherit the working folder: never one a test may remove.
cd "$state"
# Debian's interpreter: the python3 first on PATH may lack pyftpdlib.
python=/usr/bin/python3
. "$here/serverwatch.sh"

# Whether the process lives (a zombie waiting for its reaper does not).
alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}

running_pid() {
    local pid
    pid=$(cat "$state/ftp.pid" 2>/dev/null || true)
    if [ -n "$pid" ] && alive "$pid"; then echo "$pid"; fi
}

server_stop() {
    local pid
    pid=$(running_pid)
    rm -f "$state/ftp.pid"
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 100); do alive "$pid" || return 0; sleep 0.02; done
    kill -9 "$pid" 2>/dev/null || true
}

server_start() { # port (0: any)
    rm -f "$state/ftp.port"
    # Detached, every descriptor redirected: CTest waits for the pipes it gave.
    setsid "$python" "$here/ftpserver.py" --root "$state/root" --user "$(cat "$state/ftp.user")" \
        --password "$(cat "$state/ftp.password")" --port "$1" --port-file "$state/ftp.port" \
        --command-log "$state/commands.log" --transfer-log "$state/transfers.log" --switch "$state/switch" \
        </dev/null >>"$state/server.log" 2>&1 9>&- &
    echo $! > "$state/ftp.pid"
    for _ in $(seq 200); do
        if [ -s "$state/ftp.port" ]; then
            setsid bash "$here/serverwatch.sh" "$state" "$(cat "$state/ftp.pid")" \
                bash "$here/ftpserver.sh" pause "$state" </dev/null >>"$state/server.log" 2>&1 9>&- &
            return 0
        fi
        alive "$(cat "$state/ftp.pid")" || break
        sleep 0.02
    done
    cat "$state/server.log" >&2
    server_stop
    return 1
}

rnd() { head -c 48 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c "$1"; }

case "$cmd" in
start)
    sw_lock "$state"
    sw_set_owner "$state" "$owner"
    server_stop
    rm -rf "$state/root" "$state/commands.log" "$state/transfers.log" "$state/switch" "$state/server.log" "$state/ftp.env"
    mkdir -p "$state/root"
    echo "station$(rnd 4)" > "$state/ftp.user"
    rnd 16 > "$state/ftp.password"
    : > "$state/commands.log"
    : > "$state/transfers.log"
    server_start 0
    port=$(cat "$state/ftp.port")
    {
        printf 'FTP_PORT=%s\nFTP_USER=%s\nFTP_PASSWORD=%s\n' "$port" "$(cat "$state/ftp.user")" "$(cat "$state/ftp.password")"
        printf 'FTP_ROOT=%s\nFTP_COMMAND_LOG=%s\nFTP_TRANSFER_LOG=%s\nFTP_SWITCH=%s\n' "$state/root" \
            "$state/commands.log" "$state/transfers.log" "$state/switch"
    } > "$state/ftp.env.tmp"
    mv "$state/ftp.env.tmp" "$state/ftp.env"
    echo "ftpserver: ready on 127.0.0.1:$port"
    ;;
pause)
    server_stop
    ;;
resume)
    sw_lock "$state"
    sw_claim "$state" "$owner"
    [ -z "$(running_pid)" ] || exit 0
    server_start "$(grep '^FTP_PORT=' "$state/ftp.env" | cut -d= -f2)"
    ;;
stop)
    server_stop
    rm -rf "$state/root" "$state/ftp.env" "$state/ftp.port" "$state/ftp.user" "$state/ftp.password"
    ;;
*)
    echo "ftpserver: unknown command $cmd" >&2
    exit 2
    ;;
esac
