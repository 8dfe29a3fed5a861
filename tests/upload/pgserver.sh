#!/usr/bin/env bash
# A throw-away PostgreSQL server on 127.0.0.1 for the upload tests.
#
#   pgserver.sh start  STATE [OWNER]   new cluster, random port, two roles, the schema
#   pgserver.sh pause  STATE           stops the server, keeps the cluster and port
#   pgserver.sh resume STATE [OWNER]   starts it again on the same port
#   pgserver.sh stop   STATE           stops the server and removes the cluster
#
# The server serves the process OWNER (a pid; by default the caller, this
# script's parent: CTest for a fixture). A resume keeps the owner of the
# start while that one runs (a CTest run's tests share the server) and takes
# OWNER otherwise (a test run alone). A watcher (serverwatch.sh) stops the
# server with pg_ctl once its owner is gone, so a test or a CTest run that
# crashes or is killed leaves nothing listening (the cluster stays until the
# next start or stop).
#
# STATE (any folder, also one the server's user cannot reach) receives:
#   pg.env        PGHOST PGPORT PGDATABASE, the plain role (PG_USER, PG_PASSWORD)
#                 and the role whose password needs quoting in ODBC texts
#                 (PG_OP_USER, PG_OP_PASSWORD), ODBCSYSINI
#   odbc/         odbcinst.ini registering psqlODBC as "SQL SERVER"
# The cluster lives in a fresh folder of the system temp dir; as root every
# server command runs as "postgres". Every wait is bounded, and a start that
# fails leaves nothing running.
set -euo pipefail
cmd=${1:?start|pause|resume|stop}
state=${2:?state folder}
owner=${3:-$PPID}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/serverwatch.sh"
mkdir -p "$state"
state=$(cd "$state" && pwd)
# The server inherits the working folder: one its user can always reach.
cd /

pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
[ -n "$pgbin" ] || { echo "pgserver: no PostgreSQL server installed" >&2; exit 1; }
as=()
if [ "$(id -u)" -eq 0 ]; then as=(runuser -u postgres --); fi

pgctl() { "${as[@]}" "$pgbin/pg_ctl" "$@"; }

server_start() { # data port
    pgctl -D "$1/db" -l "$1/server.log" -w -t 20 \
        -o "-c listen_addresses=127.0.0.1 -p $2 -k $1 -c fsync=off -c full_page_writes=off -c synchronous_commit=off" \
        start >/dev/null 9>&- || return 1
    local postmaster
    postmaster=$(head -n1 "$1/db/postmaster.pid" 2>/dev/null || true)
    if [ -n "$postmaster" ]; then
        setsid bash "$here/serverwatch.sh" "$state" "$postmaster" bash "$here/pgserver.sh" pause "$state" \
            </dev/null >>"$state/watch.log" 2>&1 9>&- &
    fi
}

server_stop() { # data
    pgctl -D "$1/db" -m fast -w -t 20 stop >/dev/null 2>&1 \
        || pgctl -D "$1/db" -m immediate -w -t 10 stop >/dev/null 2>&1 || true
}

remove_all() {
    local data
    data=$(cat "$state/datadir" 2>/dev/null || true)
    if [ -n "$data" ] && [ -d "$data" ]; then
        server_stop "$data"
        rm -rf "$data"
    fi
    rm -f "$state/datadir" "$state/pg.env" "$state/port"
}

# Random text of letters and digits.
rnd() { head -c 48 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c "$1"; }

case "$cmd" in
start)
    sw_lock "$state"
    sw_set_owner "$state" "$owner"
    remove_all   # whatever a killed run left behind
    # /tmp, not $TMPDIR or the build tree: the server's user must reach it.
    data=$(mktemp -d /tmp/station-pg.XXXXXX)
    chmod 755 "$data"
    echo "$data" > "$state/datadir"
    trap 'remove_all' ERR
    suffix=$(rnd 6 | tr 'A-Z' 'a-z')
    user="station_$suffix"
    password=$(rnd 20)
    op_user="op_$suffix"
    # Everything an ODBC connection text must quote: ; { } and an = sign.
    op_password="$(rnd 8);x}=y{$(rnd 4)"
    database="lines_$suffix"
    superpw=$(rnd 20)
    printf '%s\n' "$superpw" > "$data/superpw"
    [ ${#as[@]} -gt 0 ] && chown -R postgres: "$data"
    "${as[@]}" "$pgbin/initdb" -D "$data/db" -U postgres -E UTF8 --locale=C.UTF-8 \
        --auth-local=trust --auth-host=scram-sha-256 --pwfile="$data/superpw" \
        >"$data/initdb.log" 2>&1 || { cat "$data/initdb.log" >&2; false; }
    port=""
    for _ in 1 2 3 4 5 6 7 8; do
        candidate=$(( 20000 + RANDOM % 30000 ))
        if server_start "$data" "$candidate"; then port=$candidate; break; fi
    done
    [ -n "$port" ] || { cat "$data/server.log" >&2; false; }
    echo "$port" > "$state/port"
    psql=("${as[@]}" "$pgbin/psql" -h "$data" -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 -q)
    "${psql[@]}" -v user="$user" -v pw="$password" -v opuser="$op_user" -v oppw="$op_password" \
        -v db="$database" <<'SQL'
CREATE ROLE :"user" LOGIN PASSWORD :'pw';
CREATE ROLE :"opuser" LOGIN PASSWORD :'oppw';
CREATE DATABASE :"db" OWNER :"user";
SQL
    # The schema as a site runs it: as the station's role, over TCP.
    PGOPTIONS="-c client_min_messages=warning" PGPASSWORD="$password" "$pgbin/psql" -h 127.0.0.1 -p "$port" -U "$user" -d "$database" \
        -v ON_ERROR_STOP=1 -q -f "$here/touchtestrecord.sql" -f "$here/testfaults.sql"
    PGOPTIONS="-c client_min_messages=warning" PGPASSWORD="$password" "$pgbin/psql" -h 127.0.0.1 -p "$port" -U "$user" -d "$database" \
        -v ON_ERROR_STOP=1 -q -v opuser="$op_user" <<'SQL'
GRANT USAGE ON SCHEMA station TO :"opuser";
GRANT SELECT, INSERT ON TouchTestRecord TO :"opuser";
SQL
    "${psql[@]}" -d "$database" -v opuser="$op_user" <<'SQL'
ALTER ROLE :"opuser" SET search_path = station, pg_catalog, public;
SQL
    driver=$(ls /usr/lib/*/odbc/psqlodbcw.so 2>/dev/null | head -n1 || true)
    mkdir -p "$state/odbc"
    # The packaged odbcinst.ini logs every connection to /tmp (CommLog=1).
    printf '[SQL SERVER]\nDriver=%s\nCommLog=0\nDebug=0\n' "${driver:-psqlodbcw.so}" > "$state/odbc/odbcinst.ini"
    : > "$state/odbc/odbc.ini"
    {
        printf 'PGHOST=127.0.0.1\nPGPORT=%s\nPGDATABASE=%s\n' "$port" "$database"
        printf 'PG_USER=%s\nPG_PASSWORD=%s\n' "$user" "$password"
        printf 'PG_OP_USER=%s\nPG_OP_PASSWORD=%s\n' "$op_user" "$op_password"
        printf 'ODBCSYSINI=%s\n' "$state/odbc"
    } > "$state/pg.env.tmp"
    mv "$state/pg.env.tmp" "$state/pg.env"
    trap - ERR
    echo "pgserver: ready on 127.0.0.1:$port"
    ;;
pause)
    data=$(cat "$state/datadir")
    server_stop "$data"
    ;;
resume)
    sw_lock "$state"
    sw_claim "$state" "$owner"
    data=$(cat "$state/datadir")
    if pgctl -D "$data/db" status >/dev/null 2>&1; then exit 0; fi
    server_start "$data" "$(cat "$state/port")"
    ;;
stop)
    remove_all
    ;;
*)
    echo "pgserver: unknown command $cmd" >&2
    exit 2
    ;;
esac
