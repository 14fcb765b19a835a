#!/usr/bin/env bash
# Makes "tiled Monaco with quarters" for bench_localities: the streets and
# quarters of ../shared/data/monaco.gpkg repeated on the 16 × 16 grid of
# bench/tiled_monaco.sh (743,168 streets, 2,304 quarters).
#
#   bench/tiled_quarters.sh OUT.gpkg [MONACO.gpkg]
#
# Streets keep their own name in `name`, shared by every tile (a key spread
# over the whole map), and take their tile after it in `town_name` ("Rue
# Grimaldi 3.12": a key within one town); quarters are named by tile.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:?usage: bench/tiled_quarters.sh OUT.gpkg [MONACO.gpkg]}"
src="${2:-$root/../shared/data/monaco.gpkg}"
tiles="WITH RECURSIVE t(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM t WHERE i < 255)"
shift="(t.i % 16) * 12000.0, (t.i / 16) * 6500.0, 0"
tile="(t.i / 16 + 1) || '.' || (t.i % 16 + 1)"
rm -f "$out.partial.gpkg"
ogr2ogr -f GPKG "$out.partial.gpkg" "$src" -dialect SQLite -nln streets -nlt LINESTRING -sql \
    "$tiles SELECT ST_Translate(s.geom, $shift) AS geom, s.name AS name,
            s.name || ' ' || $tile AS town_name
     FROM t, streets s ORDER BY t.i, s.fid"
ogr2ogr -f GPKG -update "$out.partial.gpkg" "$src" -dialect SQLite -nln quarters \
    -nlt MULTIPOLYGON -sql \
    "$tiles SELECT ST_Translate(q.geom, $shift) AS geom, q.name || ' ' || $tile AS name
     FROM t, quarters q ORDER BY t.i, q.fid"
mv "$out.partial.gpkg" "$out"
