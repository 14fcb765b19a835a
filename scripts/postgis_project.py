"""Writes a QGIS project whose layers "pages" and "streets" are the tables of
those names in a PostGIS database (shape column geom, key fid), the streets
and the pages filtered by STREETS_FILTER and PAGES_FILTER (SQL conditions)
when they are given.

usage: postgis_project.py PROJECT HOST PORT USER DBNAME [STREETS_FILTER [PAGES_FILTER]]
"""
import sys

from qgis.core import QgsApplication, QgsProject, QgsVectorLayer

project_path, host, port, user, dbname = sys.argv[1:6]
filters = {"streets": sys.argv[6] if len(sys.argv) > 6 else "",
           "pages": sys.argv[7] if len(sys.argv) > 7 else ""}
app = QgsApplication([], False)
app.initQgis()
project = QgsProject()
for table in ("pages", "streets"):
    uri = (f"host={host} port={port} user={user} dbname={dbname} "
           f"table=\"public\".\"{table}\" (geom) key='fid'")
    layer = QgsVectorLayer(uri, table, "postgres")
    assert layer.isValid(), table
    if filters[table]:
        assert layer.setSubsetString(filters[table]), filters[table]
    project.addMapLayer(layer)
assert project.write(project_path)
