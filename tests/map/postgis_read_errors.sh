#!/usr/bin/env bash
# Layers in PostGIS, through a QGIS project: a build whose connection is lost
# part way through the reads (the server ends the connection, or the server
# stops) fails with exit 2 and writes nothing. A project whose server is
# down says so instead of offering no layers.
#   postgis_read_errors.sh BRAMLOTTE BRAMLOTTE_TOWN
# Skips (exit 77) where PostgreSQL with PostGIS or QGIS's Python is missing.
set -euo pipefail
cli="$1"; town_tool="$2"
pgbin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)"
if [ -z "$pgbin" ] || ! command -v ogr2ogr >/dev/null ||
    ! /usr/bin/python3 -c "import qgis.core" 2>/dev/null ||
    ! ls /usr/share/postgresql/*/extension/postgis.control >/dev/null 2>&1; then
    echo "no PostgreSQL with PostGIS, ogr2ogr or QGIS's Python"; exit 77
fi
work="$(mktemp -d)"
chmod 755 "$work"  # the server runs as its own user when we are root
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
port=$((56000 + $$ % 1000))
pg_user="$( [ "$(id -u)" -eq 0 ] && echo postgres || id -un )"
as_pg() { if [ "$(id -u)" -eq 0 ]; then su postgres -s /bin/sh -c "$*"; else sh -c "$*"; fi; }
mkdir -p "$work/pg" && { [ "$(id -u)" -ne 0 ] || chown postgres "$work/pg"; }
as_pg "'$pgbin/initdb' -D '$work/pg/data' -U '$pg_user' -A trust >/dev/null"
start_pg() {
    as_pg "'$pgbin/pg_ctl' -D '$work/pg/data' -l '$work/pg/log' -w -o \"-k '$work/pg' -c listen_addresses=127.0.0.1 -p $port -c fsync=off\" start >/dev/null"
}
stop_pg() { as_pg "'$pgbin/pg_ctl' -D '$work/pg/data' -m immediate stop >/dev/null" 2>/dev/null || true; }
trap 'stop_pg; rm -rf "$work"' EXIT
start_pg
sql() { psql -X -q -At -h "$work/pg" -p "$port" -U "$pg_user" "$@"; }
sql -d postgres -c "CREATE DATABASE atlas"
sql -d atlas -c "CREATE EXTENSION postgis" >/dev/null

# A town large enough that its reads take a while, loaded into PostGIS.
"$town_tool" "$work/town.gpkg" 60000 >/dev/null
ogr2ogr -f PostgreSQL "PG:host=127.0.0.1 port=$port user=$pg_user dbname=atlas" \
    "$work/town.gpkg" -lco GEOMETRY_NAME=geom
/usr/bin/python3 "$(dirname "$0")/../../scripts/postgis_project.py" "$work/atlas.qgs" 127.0.0.1 \
    "$port" "$pg_user" atlas
build() {
    "$cli" build "$work/atlas.qgs" --layer1 pages --field1 page --layer2 streets --field2 name \
        --output window >"$work/out" 2>"$work/err"
}

# Whole, the build reads every street.
build
whole=$(wc -l <"$work/out")
[ "$whole" -gt 1000 ] || { echo "too few lines: $whole"; exit 1; }
echo "whole: $whole lines"

# Ends the connection of the first running FETCH with `action` (terminate:
# the server ends the session; stop: the server goes down).
interrupt() {
    local action="$1"
    for _ in $(seq 1 500); do
        if [ -n "$(sql -d atlas -c "SELECT pid FROM pg_stat_activity WHERE query ILIKE 'fetch%' AND pid <> pg_backend_pid() LIMIT 1")" ]; then
            if [ "$action" = terminate ]; then
                sql -d atlas -c "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query ILIKE 'fetch%' AND pid <> pg_backend_pid()" >/dev/null
            else
                stop_pg
            fi
            return 0
        fi
        sleep 0.01
    done
    echo "no FETCH was seen"; return 1
}
for action in terminate stop; do
    build & pid=$!
    interrupt "$action"
    status=0; wait "$pid" || status=$?
    echo "$action: exit $status, $(wc -l <"$work/out") lines"
    grep -a "ERROR DESCRIPTION" "$work/err" || true
    [ "$status" -eq 2 ] || { cat "$work/err"; echo "expected exit 2"; exit 1; }
    [ ! -s "$work/out" ] || { echo "expected no index lines"; exit 1; }
    grep -q "could not be read completely" "$work/err" || { cat "$work/err"; exit 1; }
done

# The server is down now: the project's layers are unavailable, and the
# program says so with QGIS's reason rather than "not offered".
status=0; build || status=$?
cat "$work/err"
[ "$status" -ne 0 ] || { echo "a build with the server down succeeded"; exit 1; }
grep -q "unavailable" "$work/err" || { echo "expected the layer to be named unavailable"; exit 1; }
echo "PostGIS read errors fail the build"
