#!/usr/bin/env bash
# The test servers end with the process they serve: each is started (and
# one resumed) for a stand-in owner that is then killed with SIGKILL, as a
# crashed test would be; within a bounded time nothing of it is left
# listening. Every wait is bounded.
#
#   serverwatch-check.sh SCRATCH
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=${1:?scratch folder}
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

owners=()
cleanup() {
    for pid in "${owners[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    bash "$here/ftpserver.sh" stop "$scratch/ftp" >/dev/null 2>&1 || true
    bash "$here/pgserver.sh" stop "$scratch/pg" >/dev/null 2>&1 || true
}
trap cleanup EXIT

fail() { echo "serverwatch-check: $*" >&2; exit 1; }

alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}

# Whether something accepts connections on 127.0.0.1:port.
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A process that stands for a test: it lives until it is killed.
new_owner() {
    setsid sleep 3600 </dev/null >/dev/null 2>&1 &
    owner=$!
    owners+=("$owner")
}

# Kills the owner and waits (at most 30 s) for the server pid to end and
# the port to close.
expect_end() { # what server_pid port
    kill -9 "$owner"
    wait "$owner" 2>/dev/null || true
    for _ in $(seq 300); do
        if ! alive "$2" && ! listening "$3"; then
            echo "serverwatch-check: $1 ended with its owner"
            return 0
        fi
        sleep 0.1
    done
    fail "$1 (pid $2, port $3) still runs after its owner was killed"
}

# FTP, started for an owner.
new_owner
bash "$here/ftpserver.sh" start "$scratch/ftp" "$owner" >/dev/null
port=$(grep '^FTP_PORT=' "$scratch/ftp/ftp.env" | cut -d= -f2)
pid=$(cat "$scratch/ftp/ftp.pid")
listening "$port" || fail "the FTP server does not listen on $port"
expect_end "the FTP server" "$pid" "$port"

# Resumed for another owner: the same again.
new_owner
bash "$here/ftpserver.sh" resume "$scratch/ftp" "$owner"
pid=$(cat "$scratch/ftp/ftp.pid")
listening "$port" || fail "the resumed FTP server does not listen on $port"
expect_end "the resumed FTP server" "$pid" "$port"

# PostgreSQL, through pg_ctl.
new_owner
bash "$here/pgserver.sh" start "$scratch/pg" "$owner" >/dev/null
port=$(cat "$scratch/pg/port")
pid=$(head -n1 "$(cat "$scratch/pg/datadir")/db/postmaster.pid")
listening "$port" || fail "PostgreSQL does not listen on $port"
expect_end "PostgreSQL" "$pid" "$port"
