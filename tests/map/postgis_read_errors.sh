#!/usr/bin/env bash
# Layers in PostGIS, through a QGIS project: a build whose connection is lost
# part way through the reads (the server ends the connection, or the server
# stops) fails with exit 2 and writes nothing, whether the binary read (COPY)
# of the streets or of the pages loses it, or QGIS's cursor over a layer
# keyed by text. A project whose server is down says so instead of
# offering no layers.
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
# The same streets, or pages, read slowly: one row in a hundred, or ten,
# waits 5 ms on the server, so that the binary read is still running when
# it is interrupted.
/usr/bin/python3 "$(dirname "$0")/../../scripts/postgis_project.py" "$work/slow-streets.qgs" \
    127.0.0.1 "$port" "$pg_user" atlas "fid % 100 <> 0 OR pg_sleep(0.005) IS NOT NULL"
/usr/bin/python3 "$(dirname "$0")/../../scripts/postgis_project.py" "$work/slow-pages.qgs" \
    127.0.0.1 "$port" "$pg_user" atlas "" "fid % 10 <> 0 OR pg_sleep(0.005) IS NOT NULL"
build() {
    "$cli" build "${1:-$work/atlas.qgs}" --layer1 pages --field1 page --layer2 streets \
        --field2 name --output window >"$work/out" 2>"$work/err"
}

# Whole, the build reads every street.
build
whole=$(wc -l <"$work/out")
[ "$whole" -gt 1000 ] || { echo "too few lines: $whole"; exit 1; }
echo "whole: $whole lines"

# The same town keyed by OpenStreetMap-like ids in a bigint column (negative
# ones, gaps of 10^9, one near 2^62) gives the same index.
cp "$work/town.gpkg" "$work/sparse.gpkg"
for table in streets pages; do
    ogrinfo -q "$work/sparse.gpkg" -sql "UPDATE $table SET fid = (fid - 500) * 1000000007 + 13"
    ogrinfo -q "$work/sparse.gpkg" -sql \
        "UPDATE $table SET fid = 4611686018427387000 WHERE fid = (SELECT max(fid) FROM $table)"
done
sql -d postgres -c "CREATE DATABASE osm"
sql -d osm -c "CREATE EXTENSION postgis" >/dev/null
ogr2ogr -f PostgreSQL "PG:host=127.0.0.1 port=$port user=$pg_user dbname=osm" \
    "$work/sparse.gpkg" -preserve_fid -lco FID64=TRUE -lco GEOMETRY_NAME=geom
[ "$(sql -d osm -c "SELECT data_type FROM information_schema.columns WHERE table_name = 'streets' AND column_name = 'fid'")" = bigint ] ||
    { echo "the OSM-like key is not a bigint"; exit 1; }
/usr/bin/python3 "$(dirname "$0")/../../scripts/postgis_project.py" "$work/osm.qgs" 127.0.0.1 \
    "$port" "$pg_user" osm
cp "$work/out" "$work/dense-out"
"$cli" build "$work/osm.qgs" --layer1 pages --field1 page --layer2 streets --field2 name \
    --output window >"$work/out" 2>"$work/err" || { cat "$work/err"; exit 1; }
cmp "$work/out" "$work/dense-out" || { echo "OSM-like ids give another index"; exit 1; }
echo "bigint OSM-like ids: the same $whole lines"

# Field output into the bigint-keyed streets: each value on the row of its
# key, as the GeoPackage of the same ids gets it.
sql -d osm -c "ALTER TABLE streets ADD COLUMN pages text"
ogrinfo -q "$work/sparse.gpkg" -sql "ALTER TABLE streets ADD COLUMN pages TEXT" >/dev/null
# (ogr2ogr gave the server's columns lower-case names)
for map in "$work/osm.qgs page" "$work/sparse.gpkg PAGE"; do
    set -- $map
    "$cli" build "$1" --layer1 pages --field1 "$2" --layer2 streets --field2 name \
        --output field --output-field pages --yes >"$work/out" 2>"$work/err" ||
        { cat "$work/err"; exit 1; }
done
sql -d osm -F '|' -c "SELECT fid, coalesce(pages, '-') FROM streets ORDER BY fid" >"$work/pg-pages"
/usr/bin/python3 -c 'import sqlite3, sys
for fid, pages in sqlite3.connect(sys.argv[1]).execute(
        "SELECT fid, coalesce(pages, \x27-\x27) FROM streets ORDER BY fid"):
    print(f"{fid}|{pages}")' "$work/sparse.gpkg" >"$work/gpkg-pages"
[ "$(grep -vc '|-$' "$work/pg-pages")" -gt 1000 ] || { echo "too few values written"; exit 1; }
cmp "$work/pg-pages" "$work/gpkg-pages" ||
    { echo "bigint-keyed field output differs from the GeoPackage's"; exit 1; }
echo "bigint OSM-like ids: field values on the rows of their keys"

# The town keyed by text, which QGIS numbers in a map of its own: its
# layers are read through QGIS's cursors.
sql -d postgres -c "CREATE DATABASE textkey TEMPLATE atlas"
for table in streets pages; do
    sql -d textkey -c "ALTER TABLE $table ALTER COLUMN fid DROP DEFAULT, ALTER COLUMN fid TYPE text"
done
/usr/bin/python3 "$(dirname "$0")/../../scripts/postgis_project.py" "$work/textkey.qgs" \
    127.0.0.1 "$port" "$pg_user" textkey

# Ends the connections running the first query seen that matches `what`
# (an SQL pattern: QGIS's cursor, the binary read of one layer in one or two
# halves) with `action` (terminate: the server ends the sessions; stop: the
# server goes down).
interrupt() {
    local what="$1" action="$2"
    for _ in $(seq 1 500); do
        if [ -n "$(sql -d atlas -c "SELECT pid FROM pg_stat_activity WHERE query ILIKE '$what' AND pid <> pg_backend_pid() LIMIT 1")" ]; then
            if [ "$action" = terminate ]; then
                sql -d atlas -c "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query ILIKE '$what' AND pid <> pg_backend_pid()" >/dev/null
            else
                stop_pg
            fi
            return 0
        fi
        sleep 0.01
    done
    echo "no query like $what was seen"; return 1
}
# Each case: what is read, how it is interrupted. The pages are walked and
# the streets read over libpq; the text-keyed layers of textkey.qgs through
# QGIS's cursors. The server stopped last, for the check after.
for case in "streets terminate" "pages terminate" "fetch terminate" "streets stop" \
    "pages stop" "fetch stop"; do
    read -r what action <<<"$case"
    case "$what" in
        fetch) project="$work/textkey.qgs" pattern="fetch%" ;;
        *) project="$work/slow-$what.qgs" pattern="copy%\"$what\"%" ;;
    esac
    build "$project" & pid=$!
    interrupt "$pattern" "$action"
    status=0; wait "$pid" || status=$?
    echo "$what, $action: exit $status, $(wc -l <"$work/out") lines"
    grep -a "ERROR DESCRIPTION" "$work/err" || true
    [ "$status" -eq 2 ] || { cat "$work/err"; echo "expected exit 2"; exit 1; }
    [ ! -s "$work/out" ] || { echo "expected no index lines"; exit 1; }
    grep -q "could not be read completely" "$work/err" || { cat "$work/err"; exit 1; }
    if [ "$what" != fetch ]; then
        # The layer's own read failed, in the server's words.
        grep -q "Layer $what could not be read completely: .*\(terminating connection\|server closed the connection\)" "$work/err" ||
            { cat "$work/err"; echo "expected the read of $what to name the server's words"; exit 1; }
    fi
    [ "$action" = terminate ] || [ "$what" = fetch ] || start_pg
done

# The server is down now: the project's layers are unavailable, and the
# program says so with QGIS's reason rather than "not offered".
status=0; build || status=$?
cat "$work/err"
[ "$status" -ne 0 ] || { echo "a build with the server down succeeded"; exit 1; }
grep -q "unavailable" "$work/err" || { echo "expected the layer to be named unavailable"; exit 1; }

# Field output whose server goes down while the values are written: the
# edit failure names the lost connection, and no value was kept.
start_pg
sql -d atlas -c "ALTER TABLE streets ADD COLUMN pages text"
"$cli" build "$work/atlas.qgs" --layer1 pages --field1 page --layer2 streets --field2 name \
    --output field --output-field pages --yes >"$work/out" 2>"$work/err" & pid=$!
for _ in $(seq 1 1000); do
    if [ -n "$(sql -d atlas -c "SELECT pid FROM pg_stat_activity WHERE query ILIKE 'update%' AND pid <> pg_backend_pid() LIMIT 1")" ]; then
        stop_pg; break
    fi
    sleep 0.01
done
status=0; wait "$pid" || status=$?
echo "field output, server stopped: exit $status"; tail -n 1 "$work/err"
[ "$status" -eq 2 ] || { cat "$work/err"; echo "expected exit 2"; exit 1; }
grep -q "Error editing field values" "$work/err" || { cat "$work/err"; exit 1; }
grep -q "the connection to the database server was lost" "$work/err" ||
    { cat "$work/err"; echo "expected the lost connection to be named"; exit 1; }
start_pg
kept=$(sql -d atlas -c "SELECT count(*) FROM streets WHERE pages IS NOT NULL")
[ "$kept" -eq 0 ] || { echo "$kept values were kept"; exit 1; }
echo "PostGIS read errors fail the build"
