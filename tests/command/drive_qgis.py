# Runs inside QGIS (qgis.bin --code) and uses Bramlotte as a person would:
# the menu, the pickers, "Build Index", the save dialogs and the message
# boxes. It records what it saw in result.json and screenshots in the shots
# folder; check_e2e.py judges the record against the command line's output.
#
# Folders (made by qgis_end_to_end.sh): $E2E_WORK/qgis holds the small town's
# project (QGIS's current folder, where the save dialogs open), with out/ and
# the read-only ro/ inside; $E2E_WORK/big holds the large town.
import json
import os
import shutil
import threading
import time
import traceback

from qgis.core import QgsApplication, QgsLayoutItemLabel, QgsProject, QgsVectorLayer
from qgis.PyQt.QtCore import QEventLoop, QPoint, Qt, QTimer
from qgis.PyQt.QtTest import QTest
from qgis.PyQt.QtWidgets import (QApplication, QLineEdit, QListView, QListWidget, QMessageBox,
                                 QProgressBar, QPushButton, QRadioButton, QStyle, QWidget)
from qgis.utils import iface

import processing
from processing.core.ProcessingConfig import ProcessingConfig

WORK = os.environ["E2E_WORK"]
SHOTS = os.environ["E2E_SHOTS"]
SMALL = os.path.join(WORK, "qgis")
BIG = os.path.join(WORK, "big")
WATCHDOG_S = float(os.environ.get("E2E_WATCHDOG", "240"))

result = {"steps": {}, "order": []}
step = None  # the record of the step now running


def save_result():
    with open(os.path.join(WORK, "result.tmp"), "w") as f:
        json.dump(result, f, indent=1)
    os.replace(os.path.join(WORK, "result.tmp"), os.path.join(WORK, "result.json"))


def watchdog():
    # Something blocked the run: keep what was recorded and leave.
    result["watchdog"] = step["name"] if step else "start"
    try:
        save_result()
    finally:
        os._exit(3)


def wait(ms):
    loop = QEventLoop()
    QTimer.singleShot(ms, loop.quit)
    loop.exec_()


def shot(name, widget=None):
    """The whole screen (or one widget) as SHOTS/NN-name.png."""
    result["shots"] = result.get("shots", 0) + 1
    path = os.path.join(SHOTS, "%02d-%s.png" % (result["shots"], name))
    pixmap = widget.grab() if widget else QApplication.primaryScreen().grabWindow(0)
    pixmap.save(path)
    if step is not None:
        step.setdefault("shots", []).append(os.path.basename(path))


def click(widget, what, pos=None):
    """A left click, on the middle or at `pos`; a missing widget is an error,
    not a failed assertion inside QtTest."""
    if widget is None:
        raise RuntimeError("no " + what)
    if isinstance(widget, QRadioButton) and pos is None:
        # A radio button takes clicks on its circle and its words only.
        pos = QPoint(widget.style().pixelMetric(QStyle.PM_ExclusiveIndicatorWidth) // 2 + 1,
                     widget.height() // 2)
    QTest.mouseClick(widget, Qt.LeftButton, Qt.NoModifier, pos or widget.rect().center())


def rect(w):
    g = w.frameGeometry()
    return [g.x(), g.y(), g.width(), g.height()]


def placed_rect(w, ms=3000):
    """Where a new window stands once the window manager has shown it at its
    size (a loaded machine can take longer than a short wait)."""
    for _ in range(ms // 50):
        if w.isVisible() and w.width() > 1 and w.height() > 1:
            break
        wait(50)
    return rect(w)


# ---- modal windows: every one is answered, expected or not ----------------

expected = []  # what the person will do with the next modal windows, in order


def answer_modal():
    w = QApplication.activeModalWidget()
    if w is None or w.property("e2eSeen"):
        return
    w.setProperty("e2eSeen", True)
    seen = {"class": w.metaObject().className(), "name": w.objectName(),
            "title": w.windowTitle(), "rect": rect(w),
            "parent": w.parentWidget().window().objectName() if w.parentWidget() else None,
            "t": time.perf_counter()}
    if isinstance(w, QMessageBox):
        seen["text"] = w.text()
        seen["icon"] = int(w.icon())
        seen["buttons"] = [w.buttonRole(b) == QMessageBox.YesRole and "Yes" or
                           w.buttonRole(b) == QMessageBox.NoRole and "No" or b.text()
                           for b in w.buttons()]
    step.setdefault("modals", []).append(seen)
    if expected:
        act = expected.pop(0)
    else:
        seen["unexpected"] = True
        act = close_anyhow
    # Act from a fresh timer so this poll never blocks inside a nested loop.
    QTimer.singleShot(0, lambda: act_safely(act, w, seen))


def act_safely(act, w, seen):
    try:
        act(w, seen)
    except Exception:
        seen["error"] = traceback.format_exc()
        close_anyhow(w, seen)


def close_anyhow(w, seen):
    if isinstance(w, QMessageBox):
        w.done(QMessageBox.No if QMessageBox.No & w.standardButtons() else QMessageBox.Ok)
    else:
        w.reject()


def reply(answer, picture=None):
    """A message box: look (and maybe photograph), then press the button."""
    def act(box, seen):
        wait(150)
        seen["rect"] = placed_rect(box)
        if picture:
            shot(picture)
        click(box.button(answer), "button %d" % answer)
    return act


def enter_folder(dlg, folder, keys=False):
    """Walks Dir1 to `folder` through '..' and subfolders: double-clicks, or
    with `keys` the folder made current and Enter pressed."""
    lst = dlg.findChild(QWidget, "Dir1").findChild(QListWidget)
    for _ in range(40):
        here = lst.item(0).data(Qt.UserRole)
        if here == folder:
            return
        below = folder.startswith(here.rstrip("/") + "/")
        target = (os.path.join(here, folder[len(here):].lstrip("/").split("/")[0])
                  if below else os.path.dirname(here))
        item = next(lst.item(i) for i in range(lst.count())
                    if i > 0 and lst.item(i).data(Qt.UserRole) == target)
        lst.scrollToItem(item)
        if keys:
            lst.setFocus()
            lst.setCurrentItem(item)
            QTest.keyClick(lst, Qt.Key_Return)
        else:
            QTest.mouseDClick(lst.viewport(), Qt.LeftButton, Qt.NoModifier,
                              lst.visualItemRect(item).center())
        wait(30)
    raise RuntimeError("Dir1 never reached " + folder)


def save_as(folder, name, tab=False, press="save", picture=None, keys=False):
    """A save dialog: the folder, the name typed, the delimiter, then a key or a button."""
    def act(dlg, seen):
        seen["start_folder"] = dlg.findChild(QWidget, "Dir1").findChild(QListWidget).item(0).data(
            Qt.UserRole)
        enter_folder(dlg, folder, keys)
        if not dlg.isVisible():
            raise RuntimeError("the save dialog closed while choosing the folder")
        text1 = dlg.findChild(QLineEdit, "Text1")
        text1.setFocus()
        text1.selectAll()
        QTest.keyClicks(text1, name)
        if tab:
            click(dlg.findChild(QRadioButton, "Option2"), "Option2")
        seen["ext"] = dlg.findChild(QWidget, "lblExt").text()
        wait(100)
        seen["rect"] = placed_rect(dlg)
        if picture:
            shot(picture)
        seen["pressed"] = time.perf_counter()
        if press == "enter":
            QTest.keyClick(text1, Qt.Key_Return)
        elif press == "esc":
            QTest.keyClick(dlg, Qt.Key_Escape)
        else:
            button = "btnCancel" if press == "cancel" else "btnSave"
            click(dlg.findChild(QPushButton, button), button)
    return act


# ---- the index dialog -------------------------------------------------------

def dialogs():
    return [w for w in QApplication.topLevelWidgets()
            if w.objectName() == "frmMain" and w.isVisible()]


def open_from_menu(picture=None):
    """Plugins menu > Quillmere > Bramlotte, clicked; returns the new dialog."""
    before = dialogs()
    bar = iface.mainWindow().menuBar()
    plugins = iface.pluginMenu()
    bar.setActiveAction(plugins.menuAction())
    wait(200)
    sub = next(a for a in plugins.actions()
               if a.menu() and a.menu().title().replace("&", "") == "Quillmere")
    plugins.setActiveAction(sub)
    wait(300)
    menu = sub.menu()
    item = next(a for a in menu.actions() if a.objectName() == "Quillmere.Bramlotte")
    step["menu_shown"] = plugins.isVisible() and menu.isVisible()
    step["menu_items"] = [a.text() for a in menu.actions()]
    if picture:
        shot(picture)
    click(menu, "menu", menu.actionGeometry(item).center())
    wait(300)
    new = [d for d in dialogs() if d not in before]
    step["new_dialogs"] = len(new)
    return new[0]


def child(dlg, cls, name):
    return dlg.findChild(cls, name)


def choose(dlg, picker, text):
    """A picker's entry chosen as a user does: the index set, then activated."""
    combo = dlg.findChild(QWidget, picker)
    i = combo.findText(text, Qt.MatchExactly)
    if i < 0:
        raise RuntimeError("%s offers no %r: %s" % (picker, text,
                           [combo.itemText(k) for k in range(combo.count())]))
    combo.setCurrentIndex(i)
    combo.activated[int].emit(i)


def set_text(dlg, box, text):
    edit = dlg.findChild(QLineEdit, box)
    edit.setFocus()
    edit.selectAll()
    QTest.keyClicks(edit, text)


def sentence(dlg, layer2="streets", field2="name", relation="INTERSECT", layer1="pages",
             field1="PAGE"):
    choose(dlg, "cboSearchLayers", layer2)
    if field2:
        choose(dlg, "cboSearchLayerFields", field2)
    choose(dlg, "cboRelationship", relation)
    choose(dlg, "cboMapLayers", layer1)
    if field1:
        choose(dlg, "cboLayerFields", field1)


def build(dlg, output, answers=(), poll_ms=50, during=None):
    """Picks the output, then presses Build Index; the modal windows that come
    are answered in order. Returns the seconds from the press to the outcome."""
    if output == "optWindow":
        child(dlg, QRadioButton, output).setChecked(True)  # hidden: no click reaches it
    else:
        click(child(dlg, QRadioButton, output), output)
    expected[:] = list(answers)
    dlg.activateWindow()  # a person's click on the button activates its window
    dlg.raise_()
    wait(100)
    poll = QTimer()
    poll.timeout.connect(answer_modal)
    poll.start(poll_ms)
    extra = None
    if during:
        extra = QTimer()
        extra.timeout.connect(during)
        extra.start(20)
    t0 = time.perf_counter()
    click(child(dlg, QPushButton, "btnNext"), "btnNext")
    seconds = time.perf_counter() - t0
    if extra:
        extra.stop()
    wait(200)  # a box shown at the very end gets its answer too
    poll.stop()
    step["seconds"] = seconds
    step["unanswered"] = len(expected)
    step["dialog_alive"] = dlg.isVisible()
    step["dialog_rect"] = rect(dlg)
    step["main_rect"] = rect(iface.mainWindow())
    return seconds


def lines_of(dlg):
    return child(dlg, QListView, "lstOut").model().stringList()


def field_values(gpkg, field):
    """The field as stored: the streets layer opened afresh from the file."""
    layer = QgsVectorLayer(gpkg + "|layername=streets", "reread", "ogr")
    return {str(f.id()): f[field] if f[field] is not None and not
            (hasattr(f[field], "isNull") and f[field].isNull()) else None
            for f in layer.getFeatures()}


def layout_labels(name=None):
    layouts = QgsProject.instance().layoutManager().printLayouts()
    layout = next(l for l in layouts if l.name() == name) if name else layouts[0]
    labels = []
    for item in layout.items():
        if isinstance(item, QgsLayoutItemLabel):
            p, s = item.positionWithUnits(), item.sizeWithUnits()
            labels.append({"text": item.text(), "x": p.x(), "y": p.y(), "units": int(p.units()),
                           "w": s.width(), "h": s.height(), "font": item.font().family(),
                           "points": item.font().pointSizeF(), "bold": item.font().bold()})
    return {"layout": layout.name(), "labels": sorted(labels, key=lambda l: l["x"])}


# ---- the steps --------------------------------------------------------------

def logged(message, tag, level):
    """What the plugin wrote in QGIS's message log, kept with the step."""
    if tag == "Bramlotte" and step is not None:
        step.setdefault("log", []).append(message)


QgsApplication.messageLog().messageReceived.connect(logged)


def run(name, body):
    global step
    step = result["steps"][name] = {"name": name}
    result["order"].append(name)
    try:
        body()
        step["ok"] = True
    except Exception:
        step["error"] = traceback.format_exc()
    save_result()


def small_town():
    out, ro = os.path.join(SMALL, "out"), os.path.join(SMALL, "ro")
    state = {}

    def start():
        iface.zoomFull()
        wait(1000)
        step["layers"] = [l.name() for l in QgsProject.instance().layerTreeRoot().findLayers()]
        shot("qgis-with-the-town")

    def open_dialog():
        dlg = state["dlg"] = open_from_menu("menu-quillmere-bramlotte")
        wait(300)
        step["title"] = dlg.windowTitle()
        step["rect"], step["main_rect"] = rect(dlg), rect(iface.mainWindow())
        step["layers"] = [child(dlg, QWidget, "cboMapLayers").itemText(i)
                          for i in range(child(dlg, QWidget, "cboMapLayers").count())]
        shot("index-dialog")

    def no_field():
        sentence(state["dlg"], field1=None)
        build(state["dlg"], "optText", [reply(QMessageBox.Ok, "no-field-message")])

    def text_file():
        choose(state["dlg"], "cboLayerFields", "PAGE")
        build(state["dlg"], "optText",
              [save_as(out, "index_text", press="enter", picture="save-text-file")])
        shutil.copy(os.path.join(out, "index_text.txt"), os.path.join(out, "index_text_first.txt"))

    def text_overwrite():
        with open(os.path.join(out, "index_text.txt"), "w") as f:
            f.write("an older index\n")  # what the Yes is about to replace
        build(state["dlg"], "optText",
              [save_as(out, "index_text"), reply(QMessageBox.Yes, "overwrite-question")])

    def csv_table():
        build(state["dlg"], "optTable",
              [save_as(out, "index_table", picture="save-csv-table", keys=True)])

    def tsv_table():
        build(state["dlg"], "optTable",
              [save_as(out, "index_table", tab=True, picture="save-tsv-table")])

    def cancel():
        step["files_before"] = sorted(os.listdir(out))
        build(state["dlg"], "optText", [save_as(out, "cancelled", press="cancel")])
        step["files"] = sorted(os.listdir(out))

    def escape():
        step["files_before"] = sorted(os.listdir(out))
        build(state["dlg"], "optTable", [save_as(out, "escaped", press="esc")])
        step["files"] = sorted(os.listdir(out))

    def read_only():
        step["files_before"] = sorted(os.listdir(ro))
        report = reply(QMessageBox.Ok)
        build(state["dlg"], "optText",
              [save_as(ro, "index_text"), reply(QMessageBox.Yes),
               reply(QMessageBox.Ok, "read-only-report"), report])
        step["files"] = sorted(os.listdir(ro))

    def relate_refused():
        sentence(state["dlg"], layer2="pages", field2="PAGE", relation="CROSS")
        build(state["dlg"], "optWindow", [reply(QMessageBox.Ok, "relate-refused")])

    def field_output():
        sentence(state["dlg"])
        choose(state["dlg"], "cboOutputFields", "pages")
        build(state["dlg"], "optFields", [reply(QMessageBox.Yes, "field-question")])
        step["values"] = field_values(os.path.join(SMALL, "town.gpkg"), "pages")

    def integer_field():
        choose(state["dlg"], "cboOutputFields", "pageno")
        build(state["dlg"], "optFields",
              [reply(QMessageBox.Yes), reply(QMessageBox.Ok, "edit-failure")])
        step["values"] = field_values(os.path.join(SMALL, "town.gpkg"), "pageno")

    def layout():
        set_text(state["dlg"], "txtNum", "3")
        build(state["dlg"], "optElement")
        wait(500)
        step.update(layout_labels())
        designers = iface.openLayoutDesigners()
        step["designers"] = [d.masterLayout().name() for d in designers]
        if designers:
            shot("layout-designer", designers[0].window())
            designers[0].close()
        wait(200)

    def many_columns():
        # Enough columns for the labels to be made off the main thread: each
        # column a label on the layout, the first ones a line each.
        layout = QgsProject.instance().layoutManager().printLayouts()[0]
        before = {i.uuid() for i in layout.items() if isinstance(i, QgsLayoutItemLabel)}
        set_text(state["dlg"], "txtNum", "1500")
        started = time.perf_counter()
        build(state["dlg"], "optElement")
        step["build_seconds"] = time.perf_counter() - started
        wait(300)
        new = sorted((i for i in layout.items()
                      if isinstance(i, QgsLayoutItemLabel) and i.uuid() not in before),
                     key=lambda i: i.positionWithUnits().x())
        step["texts"] = [i.text() for i in new]
        set_text(state["dlg"], "txtNum", "1")

    def window():
        build(state["dlg"], "optWindow")
        step["lines"] = lines_of(state["dlg"])

    def processing_layout():
        # Build location index from Processing's own dialog: the index set
        # on a layout of its own, fitted, exported as a PDF.
        pdf = os.path.join(out, "processing-index.pdf")
        layers = {l.name(): l for l in QgsProject.instance().mapLayers().values()}
        ProcessingConfig.setSettingValue(ProcessingConfig.KEEP_DIALOG_OPEN, True)
        dialog = processing.createAlgorithmDialog("bramlotte:buildlocationindex", {
            "LAYER2": layers["streets"], "FIELD2": "name", "LAYER1": layers["pages"],
            "FIELD1": "PAGE", "RANGES": True, "HEADINGS": True, "LAYOUT": "Processing index",
            "COLUMNS": 4, "FIT_LAYOUT": True, "LAYOUT_PDF": pdf})
        dialog.resize(900, 760)
        dialog.show()
        wait(1500)
        shot("processing-layout-dialog", dialog)
        dialog.runButton().click()  # runs on the main thread: back when done
        wait(1000)
        dialog.showLog()
        wait(300)
        shot("processing-layout-log", dialog)
        step.update(layout_labels("Processing index"))
        step["pdf"] = os.path.exists(pdf)
        dialog.close()

    def processing_atlas():
        # Make street atlas from Processing's own dialog: the whole atlas of
        # the town as one PDF, kept in the project as a report.
        pdf = os.path.join(out, "atlas.pdf")
        layers = {l.name(): l for l in QgsProject.instance().mapLayers().values()}
        dialog = processing.createAlgorithmDialog("bramlotte:makestreetatlas", {
            "LAYER2": layers["streets"], "FIELD2": "name", "PAPER": 0, "SCALE": 25000,
            "SQUARES": "3x3", "COLUMNS": 3, "RANGES": True, "HEADINGS": True,
            "TITLE": "The town", "OUTPUT": pdf})
        dialog.resize(900, 760)
        dialog.show()
        wait(1500)
        shot("street-atlas-dialog", dialog)
        dialog.runButton().click()  # runs on the main thread: back when done
        wait(1000)
        dialog.showLog()
        wait(300)
        shot("street-atlas-log", dialog)
        step["pdf"] = os.path.exists(pdf)
        step["report"] = QgsProject.instance().layoutManager().layoutByName(
            "Street atlas") is not None
        step["layers"] = sorted(l.name() for l in QgsProject.instance().mapLayers().values())
        dialog.close()

    def damaged_pages():
        # Two page shapes nobody can read: the build goes on without them
        # and says so in the message bar and the message log.
        damaged = QgsVectorLayer(os.path.join(SMALL, "damaged.gpkg") + "|layername=pages",
                                 "damaged pages", "ogr")
        QgsProject.instance().addMapLayer(damaged)
        iface.messageBar().clearWidgets()
        dlg = open_from_menu()
        sentence(dlg, layer1="damaged pages")
        build(dlg, "optText", [save_as(out, "index_damaged")])
        wait(300)
        step["bar"] = [item.text() for item in iface.messageBar().items()]
        shot("damaged-pages-warning", iface.mainWindow())
        dlg.close()
        wait(200)

    def second_dialog():
        first = state["dlg"]
        first.raise_()
        second = state["second"] = open_from_menu()
        wait(300)
        step["first"], step["second"] = rect(first), rect(second)
        shot("second-dialog-cascaded")

    def help_window():
        dlg = state["second"]
        click(child(dlg, QPushButton, "btnHelp2"), "btnHelp2")
        wait(400)
        helps = [w for w in QApplication.topLevelWidgets()
                 if w.objectName() == "frmHelp" and w.isVisible()]
        step["helps"] = len(helps)
        step["dialog"], step["main_rect"] = rect(dlg), rect(iface.mainWindow())
        if helps:
            step["help"] = rect(helps[0])
            shot("help-window")
            helps[0].close()
        dlg.close()
        wait(200)

    for name, body in [("start", start), ("open_dialog", open_dialog), ("no_field", no_field),
                       ("text_file", text_file), ("text_overwrite", text_overwrite),
                       ("csv_table", csv_table), ("tsv_table", tsv_table), ("cancel", cancel),
                       ("escape", escape), ("read_only", read_only),
                       ("relate_refused", relate_refused), ("field_output", field_output),
                       ("integer_field", integer_field), ("layout", layout),
                       ("many_columns", many_columns), ("window", window),
                       ("processing_layout", processing_layout),
                       ("processing_atlas", processing_atlas),
                       ("damaged_pages", damaged_pages),
                       ("second_dialog", second_dialog), ("help_window", help_window)]:
        run(name, body)
        if name == "open_dialog" and "error" in step:
            return  # nothing else can run without the dialog


def large_town():
    """The large town: opened, drawn, built once with the progress bar
    photographed, then built right after each of three fresh openings (as
    the command line builds each time, nothing read before) and once more in
    the same session (QGIS keeps what the first build read)."""
    out = os.path.join(BIG, "out-qgis")
    pictures = []

    def open_project():
        for d in dialogs():
            d.close()
        QgsProject.instance().setDirty(False)  # no "save changes?" question
        iface.addProject(os.path.join(BIG, "atlas.qgz"))
        # The whole town drawn before the build, as a person waits for the
        # map; drawing runs on threads that would compete with the build.
        drawn = []
        canvas = iface.mapCanvas()
        note = lambda: drawn.append(time.perf_counter())
        canvas.mapCanvasRefreshed.connect(note)
        t0 = time.perf_counter()
        iface.zoomFull()
        while (not drawn or canvas.isDrawing()) and time.perf_counter() - t0 < 60:
            wait(100)
        canvas.mapCanvasRefreshed.disconnect(note)
        step["render_wait"] = time.perf_counter() - t0
        step["layers"] = [l.name() for l in QgsProject.instance().layerTreeRoot().findLayers()]
        dlg = open_from_menu()
        sentence(dlg)
        return dlg

    def grab_progress():
        # Called from a timer while the build holds the UI thread: the bar
        # repaints, and timers run, whenever the progress lets events through.
        bars = [b for b in iface.mainWindow().statusBar().findChildren(QProgressBar)
                if b.isVisible() and b.maximum() > 1000]
        if bars and not pictures and bars[0].value() > bars[0].maximum() // 4:
            pictures.append((bars[0].value(), bars[0].maximum(), bars[0].text()))
            shot("large-build-progress", iface.mainWindow())

    def timed_build(name):
        seconds = build(dialogs()[0], "optText", [save_as(out, name)], poll_ms=5)
        saw = step["modals"][0]
        # The time the person spent in the save dialog is not the program's.
        step["dialog_seconds"] = saw["pressed"] - saw["t"]
        step["build_seconds"] = seconds - step["dialog_seconds"]

    def progress():
        dlg = open_project()
        build(dlg, "optText", [save_as(out, "index_progress")], during=grab_progress)
        step["progress_seen"] = pictures

    def fresh(n):
        def body():
            open_project()
            timed_build("index_%d" % n)
        return body

    run("large_progress", progress)
    for n in (1, 2, 3):
        run("large_timed_%d" % n, fresh(n))
    run("large_repeat", lambda: timed_build("index_repeat"))


def main():
    threading.Timer(WATCHDOG_S, watchdog).start()
    if not os.environ.get("E2E_SKIP_SMALL"):
        small_town()
    if os.path.exists(os.path.join(BIG, "atlas.qgz")):
        large_town()
    result["done"] = True
    save_result()
    QgsProject.instance().setDirty(False)
    os._exit(0)


def when_ready():
    # QGIS has started when the project's layers are in place.
    if QgsProject.instance().mapLayersByName("streets") and iface.mainWindow().isVisible():
        QTimer.singleShot(1500, main)
    else:
        QTimer.singleShot(200, when_ready)


QTimer.singleShot(500, when_ready)
