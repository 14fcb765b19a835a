# The Processing provider in a headless QGIS (PyQGIS), as scripts and models
# use it: the provider added through the plugin library's C entry point, both
# algorithms run with processing.run on a generated town and judged against
# the command line on the same maps, the squares on the grid's pages, models
# chaining the grid (or its squares) with the index, and a large build
# cancelled part way.
#   processing_test.py PLUGIN_LIBRARY BRAMLOTTE BRAMLOTTE_TOWN
import ctypes
import html
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest

PLUGIN, CLI, TOWN = sys.argv[1:4]
del sys.argv[1:4]
try:
    import qgis.core  # noqa: F401
except ImportError:
    print("no PyQGIS (python3-qgis)")
    sys.exit(77)

WORK = tempfile.mkdtemp(prefix="bramlotte-processing-")
# QGIS keeps its settings under HOME: a throwaway one.
os.environ["HOME"] = os.path.join(WORK, "home")
os.environ["XDG_RUNTIME_DIR"] = os.path.join(WORK, "run")
os.makedirs(os.environ["HOME"])
os.makedirs(os.environ["XDG_RUNTIME_DIR"], mode=0o700)

from qgis.core import (QgsApplication, QgsField,  # noqa: E402
                       QgsProcessingAlgorithm, QgsProcessingException,
                       QgsProcessingFeatureSourceDefinition, QgsProcessingFeedback,
                       QgsProcessingModelAlgorithm, QgsProcessingModelChildAlgorithm,
                       QgsProcessingModelChildParameterSource, QgsProcessingModelOutput,
                       QgsProcessingModelParameter, QgsProcessingParameterFeatureSource,
                       QgsProject, QgsVectorLayer)
from qgis.PyQt.QtCore import QVariant  # noqa: E402

APP = QgsApplication([], False)
APP.initQgis()
sys.path.append("/usr/share/qgis/python/plugins")
from processing.core.Processing import Processing  # noqa: E402

Processing.initialize()
import processing  # noqa: E402

LIBRARY = ctypes.CDLL(PLUGIN)
# A second call must find the provider there and add nothing.
ADDED = [LIBRARY.bramlotteAddProcessingProvider(), LIBRARY.bramlotteAddProcessingProvider()]

BUILD = "bramlotte:buildlocationindex"
GRID = "bramlotte:makepagegrid"
ATLAS = "bramlotte:makestreetatlas"


def town(name, segments, *flags):
    path = os.path.join(WORK, name + ".gpkg")
    subprocess.run([TOWN, path, str(segments), *flags], check=True, stdout=subprocess.DEVNULL)
    return path


SMALL = town("small", 1500, "--pages-field")


def copy_of(path, name):
    target = os.path.join(WORK, name + ".gpkg")
    shutil.copyfile(path, target)
    return target


def layer(path, name):
    return path + "|layername=" + name


def out(name):
    folder = os.path.join(WORK, "out")
    os.makedirs(folder, exist_ok=True)
    return os.path.join(folder, name)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def cli(*args):
    """Runs the command line; its standard output, or a failure with its
    standard error."""
    done = subprocess.run([CLI, *args], capture_output=True)
    if done.returncode != 0:
        raise AssertionError("bramlotte %s: %s" % (" ".join(args), done.stderr.decode()))
    return done.stdout.decode()


def cli_index(gpkg, name, *options):
    """The index file `bramlotte build` writes for the streets and pages of
    `gpkg`, as bytes."""
    target = out("cli-" + name)
    written = cli("build", gpkg, "--layer1", "pages", "--field1", "PAGE", "--layer2", "streets",
                  "--field2", "name", "--save-as", target, "--yes", *options).split()
    return read(written[0])


def build(gpkg=SMALL, feedback=None, **parameters):
    values = {"LAYER1": layer(gpkg, "pages"), "FIELD1": "PAGE",
              "LAYER2": layer(gpkg, "streets"), "FIELD2": "name"}
    values.update(parameters)
    return processing.run(BUILD, values, feedback=feedback)


def stored(gpkg, field, table="streets"):
    with sqlite3.connect(gpkg) as db:
        return dict(db.execute("SELECT fid, %s FROM %s ORDER BY fid" % (field, table)))


def keep_only(gpkg, table, fids):
    """Deletes from `table` every feature not in `fids`: the map a selection
    of those features shows."""
    with sqlite3.connect(gpkg) as db:
        db.execute("DELETE FROM %s WHERE fid NOT IN (%s)" % (table, ",".join(map(str, fids))))


def vector(source):
    return source if isinstance(source, QgsVectorLayer) else QgsVectorLayer(source, "g", "ogr")


def plain(value):
    """A field's value, None for NULL."""
    return None if value is None or (hasattr(value, "isNull") and value.isNull()) else value


PAGE_FIELDS = ["PAGE", "ROW", "COL", "PAGE_NO", "NORTH", "EAST", "SOUTH", "WEST"]
SQUARE_FIELDS = ["PAGE", "PAGE_NO", "SQUARE", "REF"]


def grid_pages(source):
    """The pages of a grid layer: fields and shape, in page order."""
    grid = vector(source)
    return sorted(tuple(plain(f[name]) for name in ["PAGE_NO"] + PAGE_FIELDS) +
                  (f.geometry().asWkt(3),) for f in grid.getFeatures())


def layout_labels(layout):
    """The text labels of a layout: page, place, size and text, in order."""
    from qgis.core import QgsLayoutItemLabel
    labels = []
    for item in layout.items():
        if isinstance(item, QgsLayoutItemLabel):
            p, size = item.positionWithUnits(), item.sizeWithUnits()
            labels.append((item.page(), round(p.x(), 3), round(p.y(), 3),
                           round(size.width(), 3), round(size.height(), 3), item.text(),
                           item.font().bold()))
    return sorted(labels)


class Recording(QgsProcessingFeedback):
    """A feedback that keeps the warnings pushed to it."""

    def __init__(self):
        super().__init__()
        self.warnings = []

    def pushWarning(self, text):
        self.warnings.append(text)
        super().pushWarning(text)


def grid_squares(source):
    """The squares of a grid, fields and shape, in the layer's own order."""
    squares = vector(source)
    return [tuple(plain(f[name]) for name in SQUARE_FIELDS) + (f.geometry().asWkt(3),)
            for f in squares.getFeatures()]


class ProviderTest(unittest.TestCase):
    def test_the_library_adds_the_provider_once_with_both_algorithms(self):
        self.assertEqual(ADDED, [1, 0])
        provider = QgsApplication.processingRegistry().providerById("bramlotte")
        self.assertEqual(provider.name(), "Bramlotte")
        algorithms = {a.id(): a for a in provider.algorithms()}
        self.assertEqual(set(algorithms), {BUILD, GRID, ATLAS})
        self.assertEqual(algorithms[BUILD].displayName(), "Build location index")
        self.assertEqual(algorithms[GRID].displayName(), "Make page grid")
        self.assertEqual(algorithms[ATLAS].displayName(), "Make street atlas")
        for algorithm in algorithms.values():
            self.assertTrue(algorithm.flags() & QgsProcessingAlgorithm.FlagSupportsBatch)
            self.assertTrue(algorithm.flags() & QgsProcessingAlgorithm.FlagCanCancel)
            self.assertIn({BUILD: "Layer #1", GRID: "PAGE_NO", ATLAS: "Layer #1"}[algorithm.id()],
                          algorithm.shortHelpString())
        # The build writes through layers of the main thread; the atlas
        # draws the project's layers.
        for name in (BUILD, ATLAS):
            self.assertTrue(algorithms[name].flags() & QgsProcessingAlgorithm.FlagNoThreading)


class IndexFileTest(unittest.TestCase):
    def test_text_files_equal_the_command_lines(self):
        cases = [
            ("plain", {}, []),
            ("print-ready", {"RANGES": True, "HEADINGS": True}, ["--ranges", "--headings"]),
            ("separators", {"COLUMN_SEPARATOR": " : ", "ITEM_SEPARATOR": ";"},
             ["--column-separator", " : ", "--item-separator", ";"]),
            ("envelopes", {"RELATIONSHIP": 1}, ["--relationship", "ENVELOPE INTERSECTS"]),
            ("within", {"RELATIONSHIP": 5}, ["--relationship", "WHOLLY CONTAIN"]),
        ]
        for name, parameters, options in cases:
            with self.subTest(name):
                target = out("alg-%s.txt" % name)
                result = build(OUTPUT=target, **parameters)
                self.assertEqual(result["OUTPUT"], target)
                self.assertEqual(read(target), cli_index(SMALL, name, *options))

    def test_tables_follow_the_extension(self):
        self.assertEqual(read(build(OUTPUT=out("alg.csv"))["OUTPUT"]),
                         cli_index(SMALL, "csv", "--output", "table"))
        self.assertEqual(read(build(OUTPUT=out("alg.tsv"))["OUTPUT"]),
                         cli_index(SMALL, "tsv", "--output", "table", "--delimiter", "tab"))

    def test_two_layers_of_one_name_are_told_apart(self):
        pages = QgsVectorLayer(layer(SMALL, "pages"), "town", "ogr")
        streets = QgsVectorLayer(layer(SMALL, "streets"), "town", "ogr")
        QgsProject.instance().addMapLayers([pages, streets])
        try:
            result = build(LAYER1=pages.id(), LAYER2=streets.id(), OUTPUT=out("one-name.txt"))
        finally:
            QgsProject.instance().removeMapLayers([pages.id(), streets.id()])
        self.assertEqual(read(result["OUTPUT"]), cli_index(SMALL, "one-name"))

    def test_a_temporary_output_is_a_text_file(self):
        path = build(OUTPUT="TEMPORARY_OUTPUT")["OUTPUT"]
        self.assertTrue(path.endswith(".txt"))
        self.assertEqual(read(path), cli_index(SMALL, "temporary"))


class FieldOutputTest(unittest.TestCase):
    def test_field_values_equal_the_command_lines(self):
        ours, theirs = copy_of(SMALL, "field-alg"), copy_of(SMALL, "field-cli")
        before = stored(ours, "pages")
        result = build(ours, OUTPUT_FIELD="pages", OUTPUT="TEMPORARY_OUTPUT")
        cli("build", theirs, "--layer1", "pages", "--field1", "PAGE", "--layer2", "streets",
            "--field2", "name", "--output", "field", "--output-field", "pages", "--yes")
        self.assertNotEqual(stored(ours, "pages"), before)
        self.assertEqual(stored(ours, "pages"), stored(theirs, "pages"))
        # The file of the same run is built as before the field was written.
        self.assertEqual(read(result["OUTPUT"]), cli_index(SMALL, "with-field"))

    def test_refusals_fail_with_the_checks_message(self):
        with self.assertRaisesRegex(QgsProcessingException, "an index file, an output field"):
            build()
        with self.assertRaisesRegex(QgsProcessingException, "^Can't find field: nope$"):
            build(FIELD1="nope", OUTPUT=out("refused.txt"))
        # Polygons cannot cross polygons.
        with self.assertRaisesRegex(QgsProcessingException, "^Error relating the two layers"):
            build(LAYER2=layer(SMALL, "pages"), FIELD2="PAGE", RELATIONSHIP=4,
                  OUTPUT=out("refused.txt"))
        self.assertFalse(os.path.exists(out("refused.txt")))
        # A whole-number field cannot take page names: nothing is written.
        numbers = copy_of(SMALL, "int-field")
        streets = QgsVectorLayer(layer(numbers, "streets"), "streets", "ogr")
        streets.dataProvider().addAttributes([QgsField("pageno", QVariant.Int)])
        del streets
        with self.assertRaisesRegex(QgsProcessingException, "^Error editing field values"):
            build(numbers, OUTPUT_FIELD="pageno")
        self.assertEqual(set(stored(numbers, "pageno").values()), {None})


class SelectionTest(unittest.TestCase):
    """Selected features only: the same as a map holding only those features."""

    @classmethod
    def setUpClass(cls):
        cls.map = copy_of(SMALL, "selection")
        cls.pages = QgsVectorLayer(layer(cls.map, "pages"), "pages", "ogr")
        cls.streets = QgsVectorLayer(layer(cls.map, "streets"), "streets", "ogr")
        QgsProject.instance().addMapLayers([cls.pages, cls.streets])
        # Every second page, and every street whose name's first letter is
        # in the first half of the alphabet.
        cls.chosen_pages = [f.id() for f in cls.pages.getFeatures() if f.id() % 2]
        cls.streets.selectByExpression("upper(left(\"name\", 1)) < 'N'")
        cls.chosen_streets = cls.streets.selectedFeatureIds()
        assert 0 < len(cls.chosen_streets) < cls.streets.featureCount()

    @classmethod
    def tearDownClass(cls):
        QgsProject.instance().removeAllMapLayers()

    def setUp(self):
        self.pages.selectByIds(self.chosen_pages)
        self.streets.selectByIds(self.chosen_streets)

    def reduced(self, name, pages=False, streets=False):
        copy = copy_of(SMALL, name)
        if pages:
            keep_only(copy, "pages", self.chosen_pages)
        if streets:
            keep_only(copy, "streets", self.chosen_streets)
        return copy

    def selected(self, layer_, only=True):
        return QgsProcessingFeatureSourceDefinition(layer_.id(), only)

    def test_the_index_of_selected_features_is_that_of_a_map_of_them(self):
        everything = read(build(self.map, OUTPUT=out("unselected.txt"))["OUTPUT"])
        for pages, streets in ((True, False), (False, True), (True, True)):
            with self.subTest(pages=pages, streets=streets):
                name = "selected-%d%d" % (pages, streets)
                result = build(self.map, LAYER1=self.selected(self.pages, pages),
                               LAYER2=self.selected(self.streets, streets),
                               OUTPUT=out(name + ".txt"))
                expected = cli_index(self.reduced(name, pages, streets), name)
                self.assertEqual(read(result["OUTPUT"]), expected)
                self.assertTrue(expected and expected != everything)

    def test_field_output_writes_the_selected_features_only(self):
        before = stored(self.map, "pages")
        build(self.map, LAYER2=self.selected(self.streets), OUTPUT_FIELD="pages")
        theirs = self.reduced("selected-field", streets=True)
        cli("build", theirs, "--layer1", "pages", "--field1", "PAGE", "--layer2", "streets",
            "--field2", "name", "--output", "field", "--output-field", "pages", "--yes")
        after = stored(self.map, "pages")
        chosen = set(self.chosen_streets)
        self.assertEqual({fid: v for fid, v in after.items() if fid in chosen},
                         stored(theirs, "pages"))
        self.assertEqual({fid: v for fid, v in after.items() if fid not in chosen},
                         {fid: v for fid, v in before.items() if fid not in chosen})
        # The layer read its data source anew; the user's selection stays.
        self.assertEqual(set(self.streets.selectedFeatureIds()), chosen)

    def test_the_grid_of_selected_features_is_that_of_a_map_of_them(self):
        reduced = self.reduced("selected-grid", streets=True)
        grid = out("cli-selected-grid.gpkg")
        cli("grid", reduced, "--layer", "streets", "--cell", "250", "--only-where-data",
            "--save-as", grid)
        result = processing.run(GRID, {"INPUT": self.selected(self.streets), "PAGE_SIZE": 0,
                                       "CELL_SIZE": 250, "ONLY_WHERE_DATA": True,
                                       "OUTPUT": "TEMPORARY_OUTPUT"})
        self.assertEqual(grid_pages(result["OUTPUT"]), grid_pages(grid))


MONACO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared",
                      "data", "monaco.gpkg")


def pdf_lines(pdf):
    """Every text line of the PDF by page: (page, width, height, box, text),
    from poppler's word boxes."""
    boxes = subprocess.run(["pdftotext", "-bbox-layout", pdf, "-"], capture_output=True,
                           check=True).stdout.decode()
    lines = []
    for number, page in enumerate(re.findall(r"<page (.*?)</page>", boxes, re.S)):
        width = float(re.search(r'width="([\d.]+)"', page).group(1))
        height = float(re.search(r'height="([\d.]+)"', page).group(1))
        for attributes, body in re.findall(r"<line (.*?)>(.*?)</line>", page, re.S):
            box = [float(re.search(r'%s="([-\d.]+)"' % k, attributes).group(1))
                   for k in ("xMin", "yMin", "xMax", "yMax")]
            text = html.unescape(" ".join(re.findall(r">([^<]*)</word>", body)))
            lines.append((number, width, height, box, text))
    return lines


def postgres_programs():
    """The folder of PostgreSQL's server programs, where PostGIS is there too."""
    import glob
    folders = sorted(glob.glob("/usr/lib/postgresql/*/bin"))
    if not folders or not glob.glob("/usr/share/postgresql/*/extension/postgis.control") or \
            not shutil.which("ogr2ogr"):
        return None
    return folders[-1]


class PostgresServer:
    """A private PostgreSQL server on loopback, in a folder of its own."""

    def __init__(self, programs):
        self.folder = tempfile.mkdtemp(prefix="bramlotte-pg-")
        self.root = os.getuid() == 0
        self.user = "postgres" if self.root else os.environ.get("USER", "postgres")
        self.port = 57000 + os.getpid() % 1000
        os.chmod(self.folder, 0o755)
        if self.root:
            shutil.chown(self.folder, "postgres")
        self.programs = programs
        self.as_server([os.path.join(programs, "initdb"), "-D", self.folder + "/data", "-U",
                        self.user, "-A", "trust"])
        self.as_server([os.path.join(programs, "pg_ctl"), "-D", self.folder + "/data", "-l",
                        self.folder + "/log", "-w", "-o",
                        "-k %s -c listen_addresses=127.0.0.1 -p %d -c fsync=off" %
                        (self.folder, self.port), "start"])

    def as_server(self, command):
        if self.root:
            command = ["su", "postgres", "-s", "/bin/sh", "-c",
                       " ".join("'%s'" % part for part in command)]
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)

    def sql(self, database, statement):
        done = subprocess.run(["psql", "-X", "-q", "-At", "-h", "127.0.0.1", "-p",
                               str(self.port), "-U", self.user, "-d", database, "-c", statement],
                              check=True, capture_output=True)
        return done.stdout.decode().strip()

    def connection(self, database):
        return "host=127.0.0.1 port=%d user=%s dbname=%s" % (self.port, self.user, database)

    def stop(self):
        self.as_server([os.path.join(self.programs, "pg_ctl"), "-D", self.folder + "/data",
                        "-m", "immediate", "stop"])
        shutil.rmtree(self.folder, ignore_errors=True)


@unittest.skipUnless(postgres_programs(), "no PostgreSQL with PostGIS and ogr2ogr")
class PostGisSelectionTest(unittest.TestCase):
    """Selected features of PostGIS layers keyed by OpenStreetMap-like bigint
    ids, which QGIS numbers 1, 2, 3 … apart from their keys: the same as a
    map holding only those features."""

    @classmethod
    def setUpClass(cls):
        cls.server = PostgresServer(postgres_programs())
        cls.map = copy_of(SMALL, "osm-ids")
        # Through GDAL, whose functions the file's spatial index triggers call.
        for statement in ["UPDATE %s SET fid = (fid - 500) * 1000000007 + 13" % table
                          for table in ("streets", "pages")] + ["UPDATE streets SET pages = NULL"]:
            subprocess.run(["ogrinfo", "-q", cls.map, "-sql", statement], check=True,
                           stdout=subprocess.DEVNULL)
        cls.server.sql("postgres", "CREATE DATABASE osm")
        cls.server.sql("osm", "CREATE EXTENSION postgis")
        subprocess.run(["ogr2ogr", "-f", "PostgreSQL", "PG:" + cls.server.connection("osm"),
                        cls.map, "-preserve_fid", "-lco", "FID64=TRUE", "-lco",
                        "GEOMETRY_NAME=geom", "-lco", "LAUNDER=NO"], check=True)
        assert cls.server.sql("osm", "SELECT data_type FROM information_schema.columns WHERE "
                              "table_name = 'streets' AND column_name = 'fid'") == "bigint"
        cls.layers = {}
        for table in ("pages", "streets"):
            uri = cls.server.connection("osm") + ' key=\'fid\' table="public"."%s" (geom)' % table
            cls.layers[table] = QgsVectorLayer(uri, table, "postgres")
            assert cls.layers[table].isValid(), table
        QgsProject.instance().addMapLayers(list(cls.layers.values()))

    @classmethod
    def tearDownClass(cls):
        QgsProject.instance().removeAllMapLayers()
        cls.server.stop()

    def test_an_index_and_field_values_of_selected_features_are_those_of_a_map_of_them(self):
        streets, pages = self.layers["streets"], self.layers["pages"]
        # The whole layers first: the streets are then held by their keys.
        whole = build(LAYER1=pages.id(), LAYER2=streets.id(), OUTPUT=out("osm-whole.txt"))
        self.assertEqual(read(whole["OUTPUT"]), cli_index(self.map, "osm-whole"))

        streets.selectByExpression("upper(left(\"name\", 1)) < 'N'")
        chosen = {f["fid"] for f in streets.getSelectedFeatures()}
        assert 0 < len(chosen) < streets.featureCount()
        assert set(streets.selectedFeatureIds()) != chosen  # QGIS's numbers are not the keys
        reduced = copy_of(self.map, "osm-selected")
        keep_only(reduced, "streets", chosen)
        source = QgsProcessingFeatureSourceDefinition(streets.id(), True)
        result = build(LAYER1=pages.id(), LAYER2=source, OUTPUT=out("osm-selected.txt"))
        self.assertEqual(read(result["OUTPUT"]), cli_index(reduced, "osm-selected"))

        build(LAYER1=pages.id(), LAYER2=source, OUTPUT_FIELD="pages")
        cli("build", reduced, "--layer1", "pages", "--field1", "PAGE", "--layer2", "streets",
            "--field2", "name", "--output", "field", "--output-field", "pages", "--yes")
        saved = dict(tuple(line.split("|", 1)) for line in self.server.sql(
            "osm", "SELECT fid, coalesce(pages, '<null>') FROM streets").splitlines())
        saved = {int(fid): value for fid, value in saved.items()}
        expected = {fid: value if value is not None else "<null>"
                    for fid, value in stored(reduced, "pages").items()}
        self.assertEqual({fid: v for fid, v in saved.items() if fid in chosen}, expected)
        self.assertTrue(any(v != "<null>" for v in expected.values()))
        self.assertEqual({v for fid, v in saved.items() if fid not in chosen}, {"<null>"})


@unittest.skipUnless(os.path.exists(MONACO), "the shared OpenStreetMap maps are absent")
class LayoutTest(unittest.TestCase):
    """Monaco's index set on a print layout of the project by Processing,
    fitted, and exported: what `bramlotte build --output layout --layout-fit`
    places, every key on the PDF, nothing off a page or over another line."""

    def test_the_fitted_index_on_a_layout_of_the_project(self):
        project = QgsProject.instance()
        project.clear()
        pages = QgsVectorLayer(layer(MONACO, "pages"), "pages", "ogr")
        streets = QgsVectorLayer(layer(MONACO, "streets"), "streets", "ogr")
        project.addMapLayers([pages, streets])
        pdf = out("monaco-index.pdf")
        result = processing.run(BUILD, {
            "LAYER1": pages, "FIELD1": "PAGE", "LAYER2": streets, "FIELD2": "name",
            "RANGES": True, "HEADINGS": True, "LAYOUT": "Monaco index", "COLUMNS": 4,
            "FIT_LAYOUT": True, "LAYOUT_PDF": pdf})
        self.assertEqual(result["LAYOUT_PDF"], pdf)
        layout = project.layoutManager().layoutByName("Monaco index")
        self.assertIsNotNone(layout)
        ours = layout_labels(layout)

        # The same placement as the command line's, on a project of the same layers.
        atlas = os.path.join(WORK, "monaco.qgs")
        self.assertTrue(project.write(atlas))
        copy = os.path.join(WORK, "monaco-cli.qgs")
        shutil.copyfile(atlas, copy)
        cli("build", copy, "--layer1", "pages", "--field1", "PAGE", "--layer2", "streets",
            "--field2", "name", "--output", "layout", "--layout", "Monaco index", "--columns",
            "4", "--layout-fit", "--ranges", "--headings", "--save-project")
        theirs = QgsProject()
        self.assertTrue(theirs.read(copy))
        # The project saved by Processing's run keeps its layout; the command
        # line's copy held it already, so its labels are there twice.
        cli_labels = layout_labels(theirs.layoutManager().layoutByName("Monaco index"))
        self.assertGreater(len(ours), 500)
        self.assertSameLabels(cli_labels, sorted(ours + ours))

        keys = [line.split("...")[0] for line in
                cli("build", MONACO, "--layer1", "pages", "--field1", "PAGE", "--layer2",
                    "streets", "--field2", "name", "--output", "window").splitlines()]
        self.assertGreater(len(keys), 500)
        lines = pdf_lines(pdf)
        text = " ".join(l[4] for l in lines)
        squeeze = lambda t: re.sub(r"\s+", " ", t)
        missing = [k for k in keys if squeeze(k) not in squeeze(text)]
        self.assertEqual(missing, [])
        self.assertGreater(len({l[0] for l in lines}), 1)
        for page, width, height, (x0, y0, x1, y1), line in lines:
            self.assertTrue(0 <= x0 < x1 <= width and 0 <= y0 < y1 <= height,
                            "off page %d: %s %s" % (page, (x0, y0, x1, y1), line))
        by_page = {}
        for page, _, _, box, line in lines:
            by_page.setdefault(page, []).append((box, line))
        for page, boxes in by_page.items():
            boxes.sort()
            for i, (a, la) in enumerate(boxes):
                for b, lb in boxes[i + 1:]:
                    if b[0] >= a[2]:
                        break
                    self.assertFalse(a[1] < b[3] - 0.01 and b[1] < a[3] - 0.01,
                                     "page %d: %r over %r" % (page, la, lb))

        # Kept in the project: saved and read again.
        again = QgsProject()
        self.assertTrue(again.read(atlas))
        self.assertSameLabels(layout_labels(again.layoutManager().layoutByName("Monaco index")),
                              ours)
        project.clear()

    def assertSameLabels(self, got, want):
        """The same labels, places within a project file's six digits."""
        self.assertEqual(len(got), len(want))
        key = lambda l: (l[0], l[5], l[1], l[2])
        for g, w in zip(sorted(got, key=key), sorted(want, key=key)):
            self.assertEqual((g[0], g[5], g[6]), (w[0], w[5], w[6]))
            self.assertTrue(all(abs(a - b) < 0.005 for a, b in zip(g[1:5], w[1:5])), (g, w))


@unittest.skipUnless(os.path.exists(MONACO), "the shared OpenStreetMap maps are absent")
class PublisherOptionsTest(unittest.TestCase):
    """Each print-ready option from Processing gives the command line's bytes."""

    def test_each_option_as_the_command_line_has_it(self):
        quarters = QgsVectorLayer(layer(MONACO, "quarters"), "quarters", "ogr")
        cases = [
            ({"FILE_UNDER_NAME": "fr", "HEADINGS": True}, ["--file-under-name=fr", "--headings"]),
            ({"NUMERIC_ORDER": True}, ["--numeric-order"]),
            ({"LOCALITIES": quarters, "LOCALITY_FIELD": "name"},
             ["--localities", "quarters", "--locality-field", "name"]),
            ({"LOCALITIES": quarters, "LOCALITY_FIELD": "name", "LOCALITY_ALWAYS": True,
              "JOIN_DISTANCE": 25, "FILE_UNDER_NAME": "fr"},
             ["--localities", "quarters", "--locality-field", "name", "--locality-always",
              "--join-distance", "25", "--file-under-name=fr"]),
        ]
        for number, (parameters, options) in enumerate(cases):
            with self.subTest(options=options):
                target = out("options-%d.txt" % number)
                result = build(MONACO, OUTPUT=target, **parameters)
                self.assertEqual(read(result["OUTPUT"]), cli_index(MONACO, "options-%d" % number,
                                                                   *options))
        with self.assertRaisesRegex(QgsProcessingException, "auto or one of"):
            build(MONACO, OUTPUT=out("nope.txt"), FILE_UNDER_NAME="xx")


def pdf_pages(pdf):
    """The text of each page of a PDF."""
    pages = int(re.search(r"Pages:\s+(\d+)",
                          subprocess.run(["pdfinfo", pdf], capture_output=True,
                                         check=True).stdout.decode()).group(1))
    return [subprocess.run(["pdftotext", "-f", str(n), "-l", str(n), "-raw", pdf, "-"],
                           capture_output=True, check=True).stdout.decode()
            for n in range(1, pages + 1)]


@unittest.skipUnless(os.path.exists(MONACO), "the shared OpenStreetMap maps are absent")
class StreetAtlasTest(unittest.TestCase):
    """Make street atlas makes what `bramlotte atlas` makes, and a model can
    feed it the pages of Make page grid."""

    def setUp(self):
        self.project = QgsProject.instance()
        self.project.clear()
        self.layers = {name: QgsVectorLayer(layer(MONACO, name), name, "ogr")
                       for name in ("quarters", "streets", "pois")}
        self.project.addMapLayers(list(self.layers.values()))

    def tearDown(self):
        self.project.clear()

    def test_the_atlas_as_the_command_line_makes_it(self):
        atlas = os.path.join(WORK, "atlas.qgz")
        self.assertTrue(self.project.write(atlas))
        ours = out("processing-atlas.pdf")
        result = processing.run(ATLAS, {
            "LAYER2": self.layers["streets"], "FIELD2": "name", "PAPER": 0, "SCALE": 10000,
            "COLUMNS": 4, "RANGES": True, "HEADINGS": True, "SQUARES": "4x5",
            "OUTPUT": ours})
        self.assertEqual(result["OUTPUT"], ours)
        self.assertIsNotNone(self.project.layoutManager().layoutByName("Street atlas"))
        theirs = out("cli-atlas.pdf")
        cli("atlas", atlas, "--layer2", "streets", "--field2", "name", "--paper", "A4",
            "--scale", "10000", "--columns", "4", "--ranges", "--headings", "--squares", "4x5",
            "--pdf", theirs)
        pages = pdf_pages(ours)
        self.assertGreater(len(pages), 10)
        self.assertEqual(pages, pdf_pages(theirs))
        self.assertTrue(any(re.search(r"\.\.\. \d+ [A-D][1-5]", p) for p in pages))

    def test_a_model_chains_the_grid_with_the_atlas(self):
        model = QgsProcessingModelAlgorithm("Street atlas", "Bramlotte")
        model.addModelParameter(QgsProcessingParameterFeatureSource("streets", "Streets"),
                                QgsProcessingModelParameter("streets"))
        static = QgsProcessingModelChildParameterSource.fromStaticValue
        streets = QgsProcessingModelChildParameterSource.fromModelParameter("streets")
        grid = QgsProcessingModelChildAlgorithm(GRID)
        grid.setChildId("grid")
        grid.addParameterSources("INPUT", [streets])
        for name, value in (("PAGE_SIZE", 1), ("SCALE", 10000), ("LANDSCAPE", False),
                            ("OVERLAP", 0), ("ONLY_WHERE_DATA", True), ("CELL_SIZE", 1000)):
            grid.addParameterSources(name, [static(value)])
        model.addChildAlgorithm(grid)
        atlas = QgsProcessingModelChildAlgorithm(ATLAS)
        atlas.setChildId("atlas")
        atlas.addParameterSources(
            "LAYER1", [QgsProcessingModelChildParameterSource.fromChildOutput("grid", "OUTPUT")])
        atlas.addParameterSources("LAYER2", [static(self.layers["streets"].id())])
        for name, value in (("FIELD1", "PAGE_NO"), ("FIELD2", "name"), ("COLUMNS", 4)):
            atlas.addParameterSources(name, [static(value)])
        output = QgsProcessingModelOutput("atlas", "Street atlas")
        output.setChildOutputName("OUTPUT")
        atlas.setModelOutputs({"atlas": output})
        model.addChildAlgorithm(atlas)
        ok, problems = model.validate()
        self.assertTrue(ok, problems)
        target = out("model-atlas.pdf")
        result = processing.run(model, {"streets": self.layers["streets"], "atlas:atlas": target})
        self.assertEqual(result["atlas:atlas"], target)
        pages = pdf_pages(target)
        self.assertTrue(any("..." in p for p in pages[-2:]))
        self.assertFalse("..." in pages[0])


class DamagedShapesTest(unittest.TestCase):
    def test_shapes_nobody_can_read_are_skipped_with_a_warning(self):
        damaged = copy_of(SMALL, "damaged")
        subprocess.run(["ogrinfo", "-q", damaged, "-sql",
                        "UPDATE pages SET geom = substr(geom, 1, 60) WHERE fid IN (3, 5)"],
                       check=True, stdout=subprocess.DEVNULL)
        feedback = Recording()
        result = build(damaged, feedback, OUTPUT=out("damaged.txt"))
        self.assertEqual(read(result["OUTPUT"]), cli_index(damaged, "damaged"))
        # The layer is named, as QGIS names a layer of that file.
        self.assertIn("2 features of layer damaged were skipped: their shapes could not be "
                      "read (ids 3, 5).", feedback.warnings)


class PageGridTest(unittest.TestCase):
    def test_grids_equal_the_command_lines(self):
        cases = [
            ("a4", {"PAGE_SIZE": 1, "SCALE": 10000}, ["--paper", "A4", "--scale", "10000"]),
            ("a3-landscape-data", {"PAGE_SIZE": 2, "SCALE": 5000, "LANDSCAPE": True,
                                   "OVERLAP": 15, "ONLY_WHERE_DATA": True},
             ["--paper", "A3", "--scale", "5000", "--landscape", "--overlap", "15",
              "--only-where-data"]),
            ("cells", {"PAGE_SIZE": 0, "CELL_SIZE": 300, "OVERLAP": 40},
             ["--cell", "300", "--overlap", "40"]),
        ]
        for name, parameters, options in cases:
            with self.subTest(name):
                grid = out("cli-grid-%s.gpkg" % name)
                cli("grid", SMALL, "--layer", "streets", *options, "--save-as", grid)
                values = {"INPUT": layer(SMALL, "streets"), "OUTPUT": "TEMPORARY_OUTPUT"}
                values.update(parameters)
                ours = processing.run(GRID, values)["OUTPUT"]
                self.assertEqual([f.name() for f in vector(ours).fields()
                                  if f.name() != "fid"], PAGE_FIELDS)
                self.assertEqual(grid_pages(ours), grid_pages(grid))

    def test_a_grid_it_cannot_make_fails_with_the_reason(self):
        with self.assertRaisesRegex(QgsProcessingException, "overlap"):
            processing.run(GRID, {"INPUT": layer(SMALL, "streets"), "PAGE_SIZE": 0,
                                  "CELL_SIZE": 100, "OVERLAP": 100,
                                  "OUTPUT": "TEMPORARY_OUTPUT"})


class SquaresTest(unittest.TestCase):
    """The squares on the pages, the second output of the grid."""

    def test_squares_equal_the_command_lines(self):
        cases = [
            ("cells", {"PAGE_SIZE": 0, "CELL_SIZE": 300, "SQUARES": "3x2"},
             ["--cell", "300", "--squares", "3x2"]),
            ("a4-data", {"PAGE_SIZE": 1, "SCALE": 5000, "ONLY_WHERE_DATA": True,
                         "SQUARES": "28X3"},
             ["--paper", "A4", "--scale", "5000", "--only-where-data", "--squares", "28X3"]),
        ]
        for name, parameters, options in cases:
            with self.subTest(name):
                grid = out("cli-squares-%s.gpkg" % name)
                cli("grid", SMALL, "--layer", "streets", *options, "--save-as", grid)
                values = {"INPUT": layer(SMALL, "streets"), "OUTPUT": "TEMPORARY_OUTPUT",
                          "SQUARES_OUTPUT": "TEMPORARY_OUTPUT"}
                values.update(parameters)
                result = processing.run(GRID, values)
                squares = result["SQUARES_OUTPUT"]
                self.assertEqual([f.name() for f in vector(squares).fields()
                                  if f.name() != "fid"], SQUARE_FIELDS)
                theirs = grid_squares(layer(grid, "squares"))
                self.assertEqual(grid_squares(squares), theirs)
                self.assertEqual(grid_pages(result["OUTPUT"]), grid_pages(layer(grid, "pages")))
                columns, rows = map(int, parameters["SQUARES"].lower().split("x"))
                self.assertEqual(len(theirs), columns * rows * len(grid_pages(grid)))

    def test_squares_without_an_output_are_not_written(self):
        result = processing.run(GRID, {"INPUT": layer(SMALL, "streets"), "PAGE_SIZE": 0,
                                       "CELL_SIZE": 500, "SQUARES": "2x2",
                                       "OUTPUT": "TEMPORARY_OUTPUT"})
        self.assertFalse(result.get("SQUARES_OUTPUT"))
        self.assertTrue(grid_pages(result["OUTPUT"]))

    def test_bad_squares_fail_with_the_reason(self):
        for squares in ("4x", "0x3", "ax2", "1001x1"):
            with self.subTest(squares):
                with self.assertRaisesRegex(QgsProcessingException, "such as 4x5"):
                    processing.run(GRID, {"INPUT": layer(SMALL, "streets"), "PAGE_SIZE": 0,
                                          "CELL_SIZE": 500, "SQUARES": squares,
                                          "OUTPUT": "TEMPORARY_OUTPUT",
                                          "SQUARES_OUTPUT": "TEMPORARY_OUTPUT"})
        with self.assertRaisesRegex(QgsProcessingException, "needs squares"):
            processing.run(GRID, {"INPUT": layer(SMALL, "streets"), "PAGE_SIZE": 0,
                                  "CELL_SIZE": 500, "OUTPUT": "TEMPORARY_OUTPUT",
                                  "SQUARES_OUTPUT": "TEMPORARY_OUTPUT"})


class ModelTest(unittest.TestCase):
    """A model that covers the streets with pages, or with the squares on
    them, and indexes them."""

    def model(self, squares=None):
        model = QgsProcessingModelAlgorithm("Street atlas index", "Bramlotte tests")
        model.addModelParameter(QgsProcessingParameterFeatureSource("streets", "Streets"),
                                QgsProcessingModelParameter("streets"))
        static = QgsProcessingModelChildParameterSource.fromStaticValue
        streets = QgsProcessingModelChildParameterSource.fromModelParameter("streets")

        grid = QgsProcessingModelChildAlgorithm(GRID)
        grid.setChildId("grid")
        grid.addParameterSources("INPUT", [streets])
        for name, value in (("PAGE_SIZE", 0), ("CELL_SIZE", 400), ("SCALE", 10000),
                            ("LANDSCAPE", False), ("OVERLAP", 0), ("ONLY_WHERE_DATA", True),
                            ("SQUARES", squares or "")):
            grid.addParameterSources(name, [static(value)])
        model.addChildAlgorithm(grid)

        # The squares output is made because the index reads it.
        index = QgsProcessingModelChildAlgorithm(BUILD)
        index.setChildId("index")
        index.addParameterSources(
            "LAYER1", [QgsProcessingModelChildParameterSource.fromChildOutput(
                "grid", "SQUARES_OUTPUT" if squares else "OUTPUT")])
        index.addParameterSources("LAYER2", [streets])
        for name, value in (("FIELD1", "REF" if squares else "PAGE"), ("FIELD2", "name"),
                            ("RELATIONSHIP", 0), ("RANGES", True), ("HEADINGS", False)):
            index.addParameterSources(name, [static(value)])
        output = QgsProcessingModelOutput("index", "Index file")
        output.setChildOutputName("OUTPUT")
        index.setModelOutputs({"index": output})
        model.addChildAlgorithm(index)
        return model

    def test_the_model_indexes_the_pages_it_made(self):
        model = self.model()
        ok, problems = model.validate()
        self.assertTrue(ok, problems)
        target = out("model.txt")
        result = processing.run(model, {"streets": layer(SMALL, "streets"),
                                        "index:index": target})
        self.assertEqual(result["index:index"], target)
        # The same two steps one after the other, the grid on disk.
        grid = out("model-grid.gpkg")
        cli("grid", SMALL, "--layer", "streets", "--cell", "400", "--only-where-data",
            "--save-as", grid)
        expected = build(LAYER1=layer(grid, "pages"), RANGES=True, OUTPUT=out("steps.txt"))
        self.assertEqual(read(target), read(expected["OUTPUT"]))

    def test_the_model_indexes_the_squares_it_made(self):
        model = self.model(squares="4x3")
        ok, problems = model.validate()
        self.assertTrue(ok, problems)
        target = out("model-squares.txt")
        processing.run(model, {"streets": layer(SMALL, "streets"), "index:index": target})
        # The command line's grid with squares, and its index of them.
        grid = out("model-squares-grid.gpkg")
        cli("grid", SMALL, "--layer", "streets", "--cell", "400", "--only-where-data",
            "--squares", "4x3", "--save-as", grid)
        written = cli("build", grid, SMALL, "--layer1", "squares", "--field1", "REF",
                      "--layer2", "streets", "--field2", "name", "--ranges",
                      "--save-as", out("cli-model-squares"), "--yes").split()
        text = read(target)
        self.assertEqual(text, read(written[0]))
        lines = text.decode("utf-8").splitlines()
        self.assertTrue(all(re.search(r"\.\.\. \d+ [A-D][1-3]", line) for line in lines))
        self.assertTrue(any(re.search(r"\b\d+ [A-D][1-3]-[A-D][1-3]\b", line)
                            for line in lines))


class CancelTest(unittest.TestCase):
    """A large build cancelled part way writes nothing."""

    @classmethod
    def setUpClass(cls):
        cls.map = town("large", 60000, "--pages-field")

    class CancelAt(QgsProcessingFeedback):
        def __init__(self, percent):
            super().__init__()
            self.seen = []
            self.progressChanged.connect(self.at)
            self.percent = percent

        def at(self, progress):
            self.seen.append(progress)
            if progress >= self.percent:
                self.cancel()

    def test_cancelled_field_output_leaves_the_field_unchanged(self):
        before = stored(self.map, "pages")
        feedback = self.CancelAt(30)
        with self.assertRaisesRegex(QgsProcessingException, "Cancelled"):
            build(self.map, OUTPUT_FIELD="pages", feedback=feedback)
        self.assertGreaterEqual(max(feedback.seen), 30)
        self.assertLess(max(feedback.seen), 100)
        self.assertEqual(stored(self.map, "pages"), before)

    def test_cancelled_index_file_keeps_the_old_file(self):
        target = out("cancelled.txt")
        with open(target, "w") as f:
            f.write("an older index\n")
        with self.assertRaisesRegex(QgsProcessingException, "Cancelled"):
            build(self.map, OUTPUT=target, feedback=self.CancelAt(50))
        self.assertEqual(read(target), b"an older index\n")


if __name__ == "__main__":
    try:
        outcome = unittest.main(exit=False, verbosity=2).result
    finally:
        QgsProject.instance().removeAllMapLayers()
        shutil.rmtree(WORK, ignore_errors=True)
    # Leave without QGIS's shutdown, which can crash after Processing in
    # a script; the verdict is already known.
    sys.stdout.flush()
    sys.stderr.flush()
    os._exit(0 if outcome.wasSuccessful() else 1)
