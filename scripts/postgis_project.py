"""Writes a QGIS project whose layers "pages" and "streets" are the tables of
those names in a PostGIS database (shape column geom, key fid), the streets
filtered by STREETS_FILTER (an SQL condition) when one is given.

usage: postgis_project.py PROJECT HOST PORT USER DBNAME [STREETS_FILTER]
"""
import sys

from qgis.core import QgsApplication, QgsProject, QgsVectorLayer

project_path, host, port, user, dbname = sys.argv[1:6]
streets_filter = sys.argv[6] if len(sys.argv) > 6 else ""
app = QgsApplication([], False)
app.initQgis()
project = QgsProject()
for table in ("pages", "streets"):
    uri = (f"host={host} port={port} user={user} dbname={dbname} "
           f"table=\"public\".\"{table}\" (geom) key='fid'")
    layer = QgsVectorLayer(uri, table, "postgres")
    assert layer.isValid(), table
    if table == "streets" and streets_filter:
        assert layer.setSubsetString(streets_filter), streets_filter
    project.addMapLayer(layer)
assert project.write(project_path)
