# Runs inside the QGIS of a machine where the Bramlotte package was just
# installed (qgis.bin --code), with a profile that never registered it:
# records whether the plugin loaded from QGIS's own plugin folder and its
# algorithms are in the toolbox, runs "Build location index" from
# Processing's own dialog on the demo town, and shows the toolbox, that
# dialog and a model using it in the modeler for screenshots.
# Environment: PKG_WORK (the demo town in demo/, result.json written there)
# and PKG_SHOTS (the screenshots' folder).
import json
import os
import traceback

from qgis.core import (QgsApplication, QgsProcessingModelAlgorithm,
                       QgsProcessingModelChildAlgorithm, QgsProcessingModelChildParameterSource,
                       QgsProcessingModelOutput, QgsProcessingModelParameter,
                       QgsProcessingParameterFeatureSource, QgsProject, QgsVectorLayer)
from qgis.PyQt.QtCore import QPointF, QTimer
from qgis.PyQt.QtWidgets import QAction, QApplication
from qgis.utils import iface

import processing
import qgis.utils
from processing.core.ProcessingConfig import ProcessingConfig
from processing.modeler.ModelerDialog import ModelerDialog

WORK = os.environ["PKG_WORK"]
SHOTS = os.environ["PKG_SHOTS"]
TOWN = os.path.join(WORK, "demo", "demo-town.gpkg")
INDEX = os.path.join(WORK, "qgis-index.txt")
BUILD = "bramlotte:buildlocationindex"
GRID = "bramlotte:makepagegrid"
result = {}
keep = []  # windows kept open until the end


def finish():
    with open(os.path.join(WORK, "result.json"), "w") as f:
        json.dump(result, f, indent=1)
    QgsProject.instance().setDirty(False)
    os._exit(0)


def step(function, delay=0):
    def run():
        try:
            function()
        except Exception:
            result["error"] = traceback.format_exc()
            finish()
    QTimer.singleShot(delay, run)


def shot(widget, name):
    QApplication.processEvents()
    widget.grab().save(os.path.join(SHOTS, name))


def look():
    libraries = {line.split()[-1] for line in open("/proc/self/maps")
                 if "libbramlotteplugin" in line}
    result["libraries"] = sorted(libraries)
    result["actions"] = [a.objectName() for a in iface.mainWindow().findChildren(QAction)
                         if a.objectName() == "Quillmere.Bramlotte"]
    provider = QgsApplication.processingRegistry().providerById("bramlotte")
    result["algorithms"] = sorted(a.id() for a in provider.algorithms()) if provider else []
    for name in ("pages", "streets"):
        QgsProject.instance().addMapLayer(QgsVectorLayer(TOWN + "|layername=" + name, name, "ogr"))
    step(show_toolbox)


def show_toolbox():
    toolbox = qgis.utils.plugins["processing"].toolbox
    toolbox.setVisible(True)
    tree = toolbox.algorithmTree
    tree.collapseAll()
    model = tree.model()
    for row in range(model.rowCount()):
        group = model.index(row, 0)
        if model.data(group) == "Bramlotte":
            tree.expand(group)
            result["toolbox"] = sorted(model.data(model.index(r, 0, group))
                                       for r in range(model.rowCount(group)))
            tree.scrollTo(group, tree.PositionAtTop)
            tree.setCurrentIndex(model.index(0, 0, group))
    step(lambda: toolbox_shown(toolbox), 500)


def toolbox_shown(toolbox):
    shot(toolbox, "toolbox.png")
    step(open_dialog)


def layer(name):
    return QgsProject.instance().mapLayersByName(name)[0]


def open_dialog():
    # The dialog stays open after its run, showing its log.
    ProcessingConfig.setSettingValue(ProcessingConfig.KEEP_DIALOG_OPEN, True)
    dialog = processing.createAlgorithmDialog(BUILD, {
        "LAYER2": layer("streets"), "FIELD2": "name", "LAYER1": layer("pages"),
        "FIELD1": "PAGE", "OUTPUT": INDEX})
    keep.append(dialog)
    dialog.resize(900, 680)
    dialog.show()
    step(lambda: run_dialog(dialog), 1500)


def run_dialog(dialog):
    shot(dialog, "build-location-index-dialog.png")
    dialog.runButton().click()  # runs on the main thread: back when done
    step(lambda: ran(dialog), 1000)


def ran(dialog):
    result["index_written"] = os.path.exists(INDEX)
    dialog.showLog()  # a run on the main thread leaves the dialog on its parameters
    shot(dialog, "build-location-index-log.png")
    dialog.close()
    step(open_modeler)


def street_atlas_model():
    model = QgsProcessingModelAlgorithm("Street atlas", "Bramlotte")
    streets = QgsProcessingModelParameter("streets")
    streets.setPosition(QPointF(160, 80))
    model.addModelParameter(QgsProcessingParameterFeatureSource("streets", "Streets"), streets)
    from_streets = QgsProcessingModelChildParameterSource.fromModelParameter("streets")
    static = QgsProcessingModelChildParameterSource.fromStaticValue

    grid = QgsProcessingModelChildAlgorithm(GRID)
    grid.setChildId("grid")
    grid.setDescription("Make page grid")
    grid.setPosition(QPointF(160, 220))
    grid.addParameterSources("INPUT", [from_streets])
    for name, value in (("PAGE_SIZE", 1), ("CELL_SIZE", 1000), ("SCALE", 5000),
                        ("LANDSCAPE", False), ("OVERLAP", 0), ("ONLY_WHERE_DATA", True)):
        grid.addParameterSources(name, [static(value)])
    model.addChildAlgorithm(grid)

    index = QgsProcessingModelChildAlgorithm(BUILD)
    index.setChildId("index")
    index.setDescription("Build location index")
    index.setPosition(QPointF(420, 360))
    index.addParameterSources(
        "LAYER1", [QgsProcessingModelChildParameterSource.fromChildOutput("grid", "OUTPUT")])
    index.addParameterSources("LAYER2", [from_streets])
    for name, value in (("FIELD1", "PAGE"), ("FIELD2", "name"), ("RELATIONSHIP", 0),
                        ("RANGES", True), ("HEADINGS", True)):
        index.addParameterSources(name, [static(value)])
    output = QgsProcessingModelOutput("Street index", "Street index")
    output.setChildOutputName("OUTPUT")
    output.setPosition(QPointF(620, 480))
    index.setModelOutputs({"Street index": output})
    model.addChildAlgorithm(index)
    return model


def open_modeler():
    model = street_atlas_model()
    result["model_valid"] = model.validate()[0]
    modeler = ModelerDialog.create(model)
    keep.append(modeler)
    modeler.resize(1200, 760)
    modeler.show()
    step(lambda: modeled(modeler), 1500)


def modeled(modeler):
    shot(modeler, "modeler.png")
    finish()


QTimer.singleShot(60000, finish)  # a watchdog: whatever happened is recorded
step(look, 1000)
