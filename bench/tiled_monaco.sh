#!/usr/bin/env bash
# Makes "tiled Monaco": the streets and pages of ../shared/data/monaco.gpkg
# repeated on a 16 × 16 grid of tiles side by side (743,168 streets, 79,872
# pages), a real street network at a national map's size, with an empty
# "pages" field on the streets for the field output.
#
#   bench/tiled_monaco.sh OUT.gpkg [MONACO.gpkg]
#
# BRAMLOTTE_TILES=40 makes a grid of 40 × 40 tiles instead (4.6 million
# streets, half a million pages).
#
# Tiles are laid out row by row, each a town of its own, as a national map
# holds many towns: street names take their tile's row and column after them
# ("Rue Grimaldi 3.12"), page names in front ("3.12-C7"). Needs ogr2ogr
# (GDAL with its SQLite dialect).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:?usage: bench/tiled_monaco.sh OUT.gpkg [MONACO.gpkg]}"
src="${2:-$root/../shared/data/monaco.gpkg}"
side="${BRAMLOTTE_TILES:-16}"
tiles="WITH RECURSIVE t(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM t WHERE i < $((side * side - 1)))"
# The page grid of monaco.gpkg is 24 × 13 pages of 500 m: a tile is 12 km × 6.5 km.
shift="(t.i % $side) * 12000.0, (t.i / $side) * 6500.0, 0"
rm -f "$out.partial.gpkg"
ogr2ogr -f GPKG "$out.partial.gpkg" "$src" -dialect SQLite -nln streets -nlt LINESTRING -sql \
    "$tiles SELECT ST_Translate(s.geom, $shift) AS geom, s.osm_id,
            s.name || ' ' || (t.i / $side + 1) || '.' || (t.i % $side + 1) AS name, s.highway
     FROM t, streets s ORDER BY t.i, s.fid"
ogr2ogr -f GPKG -update "$out.partial.gpkg" "$src" -dialect SQLite -nln pages -nlt POLYGON -sql \
    "$tiles SELECT ST_Translate(p.geom, $shift) AS geom,
            (t.i / $side + 1) || '.' || (t.i % $side + 1) || '-' || p.PAGE AS PAGE,
            p.ROW, p.COL, p.PAGE_NO
     FROM t, pages p ORDER BY t.i, p.fid"
# An empty text field for the field output to fill, as the other towns have.
ogrinfo -q "$out.partial.gpkg" -sql "ALTER TABLE streets ADD COLUMN pages TEXT" >/dev/null
mv "$out.partial.gpkg" "$out"
