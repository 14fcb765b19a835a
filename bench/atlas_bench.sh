#!/usr/bin/env bash
# Whole index builds on synthetic towns, next to the read floor and to
# PostGIS answering the same question, all measured in one run.
#
#   bench/atlas_bench.sh [S] [M] [L] [T]     (default: S M L)
#
# S has about 20 thousand street segments, M 250 thousand, L 1.5 million,
# with a page per 10 segments; T is tiled Monaco (bench/tiled_monaco.sh: the
# real streets of ../shared/data/monaco.gpkg 16 × 16 times, 743 thousand).
# Maps are made once and kept in $BRAMLOTTE_BENCH_CACHE (default
# /tmp/bramlotte-bench). Needs a built tree (scripts/build.sh) and
# PostgreSQL with PostGIS (scripts/setup.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BRAMLOTTE_BUILD:-$root/build}"
cache="${BRAMLOTTE_BENCH_CACHE:-/tmp/bramlotte-bench}"
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(S M L)
mkdir -p "$cache"
work="$(mktemp -d)"
chmod 755 "$work"  # the database server runs as its own user
export QT_QPA_PLATFORM=offscreen

segments_of() {
    case "$1" in
        S) echo 20000 ;; M) echo 250000 ;; L) echo 1500000 ;; T) echo tiled-monaco ;;
        *) echo "unknown size $1" >&2; exit 64 ;;
    esac
}

# --- a private PostgreSQL server on loopback --------------------------------
# Without autovacuum: it would work in the background on the tables of the
# previous size while the next size's builds are timed (each load is analysed).
pgbin="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)"
pgdir="$work/pg"
mkdir -p "$pgdir"
run_pg() {
    if [ "$(id -u)" -eq 0 ]; then
        chown -R postgres "$pgdir"
        su postgres -s /bin/sh -c "$*"
    else
        sh -c "$*"
    fi
}
pguser="$( [ "$(id -u)" -eq 0 ] && echo postgres || id -un )"
run_pg "'$pgbin/initdb' -D '$pgdir/data' -U '$pguser' -A trust >/dev/null"
run_pg "'$pgbin/pg_ctl' -D '$pgdir/data' -l '$pgdir/log' -w -o \"-k '$pgdir' -c listen_addresses=127.0.0.1 -p 55432 -c fsync=off -c autovacuum=off\" start >/dev/null"
stop_pg() {
    run_pg "'$pgbin/pg_ctl' -D '$pgdir/data' -m fast stop >/dev/null" || true
    rm -rf "$work"
}
trap stop_pg EXIT
psql_bench() { PGOPTIONS="-c client_min_messages=warning" psql -X -q -h "$pgdir" -p 55432 -U "$pguser" "$@"; }
psql_bench -d postgres -c "CREATE DATABASE bench"
psql_bench -d bench -c "CREATE EXTENSION postgis" >/dev/null

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }
# Runs a command, prints "seconds max-resident-KB".
timed() {
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
        cat "$work/err" >&2; return 1; }
    cat "$work/time"
}
# The better of two runs of `timed` (the lower time, with that run's memory):
# every measurement of the table is taken the same way, as one slow run on a
# shared machine would otherwise decide a ratio.
best_of_two() {
    local t1 m1 t2 m2
    read -r t1 m1 < <(timed "$@")
    read -r t2 m2 < <(timed "$@")
    if (( $(echo "$t2 < $t1" | bc -l) )); then echo "$t2 $m2"; else echo "$t1 $m1"; fi
}

bramlotte="$build/cli/bramlotte"
# The memory of a build on a tiny town: the baseline of every run.
"$build/bramlotte-town" "$work/tiny.gpkg" 20 >/dev/null
read -r _ base_kb < <(timed "$bramlotte" build "$work/tiny.gpkg" --layer1 pages --field1 PAGE \
    --layer2 streets --field2 name --output window)

# Bramlotte first, every size, then PostGIS: the database loads write
# gigabytes, and a disk still busy with them would slow the field output's
# own writes.
town_of() {
    local n
    n="$(segments_of "$1")"
    if [ "$1" = T ]; then echo "$cache/tiled-monaco.gpkg"; else echo "$cache/atlas-town-$n.gpkg"; fi
}
# The better of two runs of a floor program (it prints "seconds features bytes").
floor_of() {
    local r1 r2 f w
    read -r r1 f w < <("$@")
    read -r r2 _ _ < <("$@")
    if (( $(echo "$r2 < $r1" | bc -l) )); then r1="$r2"; fi
    echo "$r1 $f $w"
}

declare -A read_s gdal_s features wkb_bytes text_s text_kb table_s field_s
for size in "${sizes[@]}"; do
    n="$(segments_of "$size")"
    town="$(town_of "$size")"
    if [ ! -f "$town" ]; then
        if [ "$size" = T ]; then
            bash "$root/bench/tiled_monaco.sh" "$town" >/dev/null
        else
            "$build/bramlotte-town" "$cache/partial-$n.gpkg" "$n" 1 --pages-field >/dev/null
            mv "$cache/partial-$n.gpkg" "$town"
        fi
    fi
    sync
    # Two read floors: GDAL's own C API (what the data can give), and QGIS's
    # feature iterator.
    read -r g _ _ < <(floor_of "$build/bench/bench_gdal_read" "$town" streets pages)
    read -r r1 f w < <(floor_of "$build/bench/bench_read" "$town" streets pages)
    read_s[$size]="$r1" gdal_s[$size]="$g" features[$size]="$f" wkb_bytes[$size]="$w"
    args=(--layer1 pages --field1 PAGE --layer2 streets --field2 name --yes)
    read -r t kb < <(best_of_two "$bramlotte" build "$town" "${args[@]}" --save-as "$work/index")
    text_s[$size]="$t" text_kb[$size]="$kb"
    read -r t _ < <(best_of_two "$bramlotte" build "$town" "${args[@]}" --output table \
        --save-as "$work/index-$size")
    table_s[$size]="$t"
    # The field output writes into its map: each run gets a fresh copy.
    best=""
    for _ in 1 2; do
        cp "$town" "$work/field.gpkg"
        sync
        read -r t _ < <(timed "$bramlotte" build "$work/field.gpkg" "${args[@]}" \
            --output field --output-field pages)
        if [ -z "$best" ] || (( $(echo "$t < $best" | bc -l) )); then best="$t"; fi
    done
    field_s[$size]="$best"
    rm -f "$work/field.gpkg"
done

# The same towns with OpenStreetMap-like feature ids (rising, with gaps of
# up to 30 million): ids are names, so time and memory must be the same.
declare -A osm_s osm_kb
for size in "${sizes[@]}"; do
    [ "$size" != T ] || continue
    n="$(segments_of "$size")"
    osm="$cache/atlas-town-$n-osm.gpkg"
    if [ ! -f "$osm" ]; then
        "$build/bramlotte-town" "$cache/partial-$n-osm.gpkg" "$n" 1 --pages-field --osm-ids >/dev/null
        mv "$cache/partial-$n-osm.gpkg" "$osm"
    fi
    sync
    read -r t kb < <(best_of_two "$bramlotte" build "$osm" --layer1 pages --field1 PAGE \
        --layer2 streets --field2 name --yes --save-as "$work/osm-index")
    osm_s[$size]="$t" osm_kb[$size]="$kb"
    # The same town: the same index, byte for byte.
    "$bramlotte" build "$(town_of "$size")" --layer1 pages --field1 PAGE --layer2 streets \
        --field2 name --yes --save-as "$work/dense-index" >/dev/null 2>&1
    cmp -s "$work/osm-index.txt" "$work/dense-index.txt" ||
        { echo "OpenStreetMap-like ids give another index ($size)" >&2; exit 1; }
done

rows=()
declare -A pg8_s pg_s
for size in "${sizes[@]}"; do
    town="$(town_of "$size")"
    # PostGIS: load (timed apart), then the same index as one query.
    psql_bench -d bench -c "DROP TABLE IF EXISTS streets, pages" >/dev/null
    t0="$(now)"
    ogr2ogr -f PostgreSQL "PG:host=$pgdir port=55432 user=$pguser dbname=bench" "$town" \
        streets pages -lco GEOMETRY_NAME=geom -lco SPATIAL_INDEX=GIST -lco LAUNDER=NO \
        -lco FID=fid -preserve_fid -nlt PROMOTE_TO_MULTI -gt 100000
    psql_bench -d bench -c "ANALYZE streets; ANALYZE pages" >/dev/null
    load_s="$(elapsed "$t0" "$(now)")"
    query="COPY (SELECT s.name, string_agg(DISTINCT p.\"PAGE\", '|') FROM streets s
             JOIN pages p ON ST_Intersects(s.geom, p.geom)
             WHERE s.name IS NOT NULL AND btrim(s.name, ' ') <> ''
             GROUP BY s.name) TO STDOUT WITH (FORMAT csv)"
    best=""
    for _ in 1 2; do  # the better of two runs, as the file cache is warm for both sides
        t0="$(now)"
        psql_bench -d bench -c "$query" >"$work/postgis.csv"
        q="$(elapsed "$t0" "$(now)")"
        if [ -z "$best" ] || (( $(echo "$q < $best" | bc -l) )); then best="$q"; fi
    done

    # Bramlotte on the same two tables, its layers in a QGIS project.
    pg_project="$work/postgis-$size.qgs"
    /usr/bin/python3 "$root/scripts/postgis_project.py" "$pg_project" "$pgdir" 55432 "$pguser" \
        bench
    read -r pg_text _ < <(best_of_two "$bramlotte" build "$pg_project" --layer1 pages \
        --field1 PAGE --layer2 streets --field2 name --output table --yes --save-as "$work/pg-$size")
    cmp -s "$work/pg-$size.csv" "$work/index-$size.csv" ||
        { echo "the build on PostGIS differs from the build on the file ($size)" >&2; exit 1; }

    # The OpenStreetMap-like town with its ids as bigint keys: the same
    # index, in about the same time.
    if [ "$size" != T ]; then
        psql_bench -d bench -c "DROP TABLE IF EXISTS streets, pages" >/dev/null
        ogr2ogr -f PostgreSQL "PG:host=$pgdir port=55432 user=$pguser dbname=bench" \
            "$cache/atlas-town-$(segments_of "$size")-osm.gpkg" streets pages -lco GEOMETRY_NAME=geom \
            -lco SPATIAL_INDEX=GIST -lco LAUNDER=NO -lco FID=fid -lco FID64=TRUE -preserve_fid \
            -nlt PROMOTE_TO_MULTI -gt 100000
        psql_bench -d bench -c "ANALYZE streets; ANALYZE pages" >/dev/null
        [ "$(psql_bench -d bench -Atc "SELECT format_type(atttypid, atttypmod) FROM pg_attribute
              WHERE attrelid = 'streets'::regclass AND attname = 'fid'")" = bigint ] ||
            { echo "the OpenStreetMap-like streets are not keyed by a bigint" >&2; exit 1; }
        read -r t _ < <(best_of_two "$bramlotte" build "$pg_project" --layer1 pages \
            --field1 PAGE --layer2 streets --field2 name --output table --yes \
            --save-as "$work/pg8-$size")
        pg8_s[$size]="$t"
        cmp -s "$work/pg8-$size.csv" "$work/index-$size.csv" ||
            { echo "the build on bigint-keyed PostGIS differs ($size)" >&2; exit 1; }
    fi

    # Bramlotte's table and PostGIS's rows must agree key for key.
    python3 - "$work/index-$size.csv" "$work/postgis.csv" <<'PY'
import csv, sys
ours = {row[0]: set(row[1:]) for row in csv.reader(open(sys.argv[1], newline="", encoding="utf-8"))}
theirs = {row[0]: set(row[1].split("|")) for row in csv.reader(open(sys.argv[2], newline="", encoding="utf-8"))}
if ours != theirs:
    diff = sorted(set(ours) ^ set(theirs))[:5] or [k for k in ours if ours[k] != theirs.get(k)][:5]
    sys.exit(f"bramlotte and PostGIS disagree ({len(ours)} vs {len(theirs)} keys), e.g. {diff}")
print(f"  {len(ours)} keys: bramlotte and PostGIS agree key for key", file=sys.stderr)
PY
    text="${text_s[$size]}" floor="${read_s[$size]}" kb="${text_kb[$size]}" w="${wkb_bytes[$size]}"
    gdal="${gdal_s[$size]}"
    wkb_mb="$(echo "$w / 1048576" | bc -l)"
    mem_ratio="$(echo "($kb - $base_kb) / ($w / 1024)" | bc -l)"
    pg_s[$size]="$pg_text"
    rows+=("$(printf "%-4s %9s %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %6.2f %6.2f %6.2f %6.2f %6.2f %5.0f %5.0f %5.2f" \
        "$size" "${features[$size]}" "$gdal" "$floor" "$text" "${table_s[$size]}" \
        "${field_s[$size]}" "$load_s" "$best" "$pg_text" "$(echo "$text / $gdal" | bc -l)" \
        "$(echo "$text / $floor" | bc -l)" "$(echo "$text / $best" | bc -l)" \
        "$(echo "$pg_text / $best" | bc -l)" "$(echo "${field_s[$size]} / $text" | bc -l)" \
        "$(echo "$kb / 1024" | bc -l)" "$wkb_mb" "$mem_ratio")")
done

echo
echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $(lscpu | sed -n 's/^Model name: *//p')"
printf "%-4s %9s %7s %7s %7s %7s %7s %7s %7s %7s %6s %6s %6s %6s %6s %5s %5s %5s\n" size \
    features "gdal rd" "qgis rd" "text" "table" "field" "pg load" "pg qry" "pg bld" "t/gdal" \
    "t/qgis" "t/pgq" "pb/pgq" "f/t" "RSS" "WKB" "mem×"
for row in "${rows[@]}"; do echo "$row"; done
echo "(features: streets and pages; times are seconds, end to end; gdal rd: both layers read on"
echo " one thread through GDAL's C API, a GEOS shape made of each; qgis rd: the same through"
echo " QGIS's feature iterator; pg bld: the table build with both layers in PostGIS, through a"
echo " project; t/…: the text build over a floor or the PostGIS query; RSS: peak of the text"
echo " build in MB; mem×: (that peak − a tiny build's peak $((base_kb / 1024)) MB) / both layers' WKB)"
echo
printf "%-4s %9s %9s %9s %9s\n" size "ids 1..n" "OSM ids" "RSS 1..n" "RSS OSM"
for size in "${sizes[@]}"; do
    [ -n "${osm_s[$size]:-}" ] || continue
    printf "%-4s %9.2f %9.2f %9.0f %9.0f\n" "$size" "${text_s[$size]}" "${osm_s[$size]}" \
        "$(echo "${text_kb[$size]} / 1024" | bc -l)" "$(echo "${osm_kb[$size]} / 1024" | bc -l)"
done
echo "(the text build of the same town with feature ids 1…n and with OpenStreetMap-like ids:"
echo " seconds, and peak RSS in MB)"
echo
printf "%-4s %10s %10s %6s\n" size "pg int4" "pg int8" ratio
for size in "${sizes[@]}"; do
    [ -n "${pg8_s[$size]:-}" ] || continue
    printf "%-4s %10.2f %10.2f %6.2f\n" "$size" "${pg_s[$size]}" "${pg8_s[$size]}" \
        "$(echo "${pg8_s[$size]} / ${pg_s[$size]}" | bc -l)"
done
echo "(the table build with both layers in PostGIS keyed by int4 ids 1…n and by bigint"
echo " OpenStreetMap-like ids: seconds)"
