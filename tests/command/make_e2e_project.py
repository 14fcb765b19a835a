# Makes a QGIS project over a generated town, as a user would have one:
#   make_e2e_project.py TOWN.gpkg PROJECT.qgz [--int-field NAME]
# The layers keep their plain names ("streets", "pages"), the project holds
# one empty print layout, and paths are stored relative to the project so a
# copy of the folder is a copy of the map. --int-field adds an integer field
# to the streets (an output field that text cannot be written into).
import sys

from qgis.core import (QgsApplication, QgsField, QgsPrintLayout, QgsProject,
                       QgsVectorLayer)
from qgis.PyQt.QtCore import QVariant

town, project_path = sys.argv[1], sys.argv[2]
int_field = sys.argv[sys.argv.index("--int-field") + 1] if "--int-field" in sys.argv else None

app = QgsApplication([], False)
app.initQgis()
project = QgsProject.instance()
for name in ("pages", "streets"):  # the streets drawn over the pages
    layer = QgsVectorLayer(f"{town}|layername={name}", name, "ogr")
    if not layer.isValid():
        sys.exit(f"cannot open {name} in {town}")
    if name == "streets" and int_field:
        if not layer.dataProvider().addAttributes([QgsField(int_field, QVariant.Int)]):
            sys.exit(f"cannot add {int_field} to {town}")
    project.addMapLayer(layer)
layout = QgsPrintLayout(project)
layout.initializeDefaults()
layout.setName("Atlas")
project.layoutManager().addLayout(layout)
if not project.write(project_path):
    sys.exit(f"cannot write {project_path}: {project.error()}")
app.exitQgis()
