# Runs inside QGIS (qgis.bin --code): finds the Quillmere menu, clicks
# Bramlotte, and records what the index dialog shows, with a screenshot.
import json
import os

from qgis.PyQt.QtCore import QTimer
from qgis.PyQt.QtWidgets import QAction, QApplication, QComboBox, QMenu
from qgis.utils import iface

OUT = os.environ["BRAMLOTTE_E2E_DIR"]
result = {}


def finish():
    dialogs = [w for w in QApplication.topLevelWidgets() if w.objectName() == "frmMain"]
    dialogs += [w for w in iface.mainWindow().findChildren(QComboBox)
                if w.objectName() == "cboMapLayers"]
    combos = [c for c in QApplication.instance().allWidgets() if c.objectName() == "cboMapLayers"]
    result["dialogs"] = len(combos)
    if combos:
        combo = combos[0]
        result["layers"] = [combo.itemText(i) for i in range(combo.count())]
        result["title"] = combo.window().windowTitle()
        QApplication.primaryScreen().grabWindow(0).save(os.path.join(OUT, "qgis.png"))
    with open(os.path.join(OUT, "result.json"), "w") as f:
        json.dump(result, f)
    os._exit(0)


def click():
    actions = [a for a in iface.mainWindow().findChildren(QAction)
               if a.objectName() == "Quillmere.Bramlotte"]
    result["actions"] = len(actions)
    result["menus"] = [[a.text() for a in m.actions()]
                       for m in iface.mainWindow().findChildren(QMenu)
                       if m.title().replace("&", "") == "Quillmere"]
    if actions:
        result["status"] = actions[0].statusTip()
        actions[0].trigger()
    QTimer.singleShot(1500, finish)


QTimer.singleShot(3000, click)
