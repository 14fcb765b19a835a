#!/usr/bin/python3
"""Same-named streets told apart by locality, computed afresh by brute force
with OGR's geometry, to check the program's own computation against.

    street_localities_reference.py MAP.gpkg STREETS KEY LOCALITIES NAME DISTANCE [always]

Every pair of segments of one key is tested (Intersects, or Distance within
DISTANCE), every street against every locality (the length of each
segment's Intersection). Line streets only. Prints JSON: for every segment
by feature id, the lowest id of its street, its street's locality and the
locality its key is shown with (null for none); the split keys and the
keys to check.
"""
import json
import sys

from osgeo import ogr

ogr.UseExceptions()


def blank(value):
    return value is None or (isinstance(value, str) and value.strip(" ") == "")


def length(geometry):
    """The length of the lines of a geometry (points and empties add nothing)."""
    name = geometry.GetGeometryName()
    if name in ("LINESTRING", "MULTILINESTRING"):
        return geometry.Length()
    if name == "GEOMETRYCOLLECTION":
        return sum(length(geometry.GetGeometryRef(i)) for i in range(geometry.GetGeometryCount()))
    return 0.0


def clearly_more(amount, best):
    return amount > best + 1e-9 * max(abs(amount), abs(best))


def main(path, streets_name, key_field, localities_name, name_field, distance, always):
    data = ogr.Open(path)
    segments = []  # (id, key, shape)
    for feature in data.GetLayerByName(streets_name):
        shape = feature.GetGeometryRef()
        key = feature.GetField(key_field)
        if shape is None or shape.IsEmpty() or blank(key):
            continue
        segments.append((feature.GetFID(), key, shape.Clone()))
    localities = []  # (name, shape), in the layer's order
    for feature in data.GetLayerByName(localities_name):
        shape = feature.GetGeometryRef()
        name = feature.GetField(name_field)
        if shape is None or shape.IsEmpty() or blank(name):
            continue
        shape = shape.Clone()
        if not shape.IsValid():
            shape = shape.MakeValid()
        localities.append((name, shape))

    parent = list(range(len(segments)))

    def find(a):
        while parent[a] != a:
            a = parent[a]
        return a

    by_key = {}
    for i, (_, key, _) in enumerate(segments):
        by_key.setdefault(key, []).append(i)
    for members in by_key.values():
        for x, a in enumerate(members):
            for b in members[x + 1:]:
                sa, sb = segments[a][2], segments[b][2]
                near = sa.Intersects(sb) if distance == 0 else sa.Distance(sb) <= distance
                if near and find(a) != find(b):
                    parent[find(b)] = find(a)

    streets = {}
    for i in range(len(segments)):
        streets.setdefault(find(i), []).append(i)
    locality_of = {}  # street root -> locality index or None
    for root, members in streets.items():
        best, best_at = 0.0, None
        for at, (_, area) in enumerate(localities):
            amount = sum(length(segments[m][2].Intersection(area)) for m in members)
            if amount > 0 and (best_at is None or clearly_more(amount, best)):
                best, best_at = amount, at
        locality_of[root] = best_at

    names_of_key = {}  # key -> {locality name: streets}
    for root, at in locality_of.items():
        if at is not None:
            names = names_of_key.setdefault(segments[root][1], {})
            name = localities[at][0]
            names[name] = names.get(name, 0) + 1
    split = sorted(key for key, names in names_of_key.items() if len(names) > 1)
    check = sorted(key for key, names in names_of_key.items() if max(names.values()) > 1)

    out = {}
    for root, members in streets.items():
        at = locality_of[root]
        name = None if at is None else localities[at][0]
        key = segments[root][1]
        shown = name if name is not None and (always or key in split) else None
        lowest = min(segments[m][0] for m in members)
        for m in members:
            out[str(segments[m][0])] = {"street": lowest, "locality": name, "shown": shown}
    json.dump({"segments": out, "split": split, "check": check}, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    if len(sys.argv) not in (7, 8):
        sys.exit(__doc__)
    main(*sys.argv[1:6], float(sys.argv[6]), len(sys.argv) == 8 and sys.argv[7] == "always")
