#!/usr/bin/python3
"""The index entries of same-named streets told apart by locality, computed
afresh with OGR's geometry: the streets and their localities by
tests/map/street_localities_reference.py's brute force, then the pages each
street's segments intersect.

    locality_entries_reference.py MAP.gpkg

Prints JSON: for every entry of a split key, "Name (Locality)" (or the bare
name for its streets in no locality) and the sorted pages of its segments.
"""
import importlib.util
import io
import json
import os
import sys
from contextlib import redirect_stdout

from osgeo import ogr

ogr.UseExceptions()
here = os.path.dirname(os.path.abspath(__file__))
found = importlib.util.spec_from_file_location(
    "street_localities_reference", os.path.join(here, "..", "map", "street_localities_reference.py"))
reference = importlib.util.module_from_spec(found)
found.loader.exec_module(reference)


def main(path):
    said = io.StringIO()
    with redirect_stdout(said):
        reference.main(path, "streets", "name", "quarters", "name", 0.0, False)
    streets = json.loads(said.getvalue())
    split = set(streets["split"])
    data = ogr.Open(path)
    pages = [(f.GetField("PAGE"), f.GetGeometryRef().Clone()) for f in data.GetLayerByName("pages")]
    entries = {}
    for feature in data.GetLayerByName("streets"):
        key = feature.GetField("name")
        if key not in split:
            continue
        shown = streets["segments"][str(feature.GetFID())]["shown"]
        entry = key if shown is None else "%s (%s)" % (key, shown)
        shape = feature.GetGeometryRef()
        held = entries.setdefault(entry, set())
        for page, area in pages:
            if shape.Intersects(area):
                held.add(page)
    json.dump({entry: sorted(p) for entry, p in entries.items()}, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main(sys.argv[1])
