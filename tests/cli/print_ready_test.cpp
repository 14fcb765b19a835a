// The print-ready options through the program a map maker runs: the fitted
// layout on Monaco in three and four columns on A4, page ranges and letter
// headings in the text file, and the page grid over Monaco's streets, with
// squares on its pages and the index by square.
#include "tests/testing/test_maps.h"

#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <qgsfeatureiterator.h>
#include <qgsfillsymbol.h>
#include <qgsfillsymbollayer.h>
#include <qgslayoutitemlabel.h>
#include <qgslayoutitempage.h>
#include <qgslayoutmanager.h>
#include <qgslayoutpagecollection.h>
#include <qgslinesymbol.h>
#include <qgslinesymbollayer.h>
#include <qgsmaprenderersequentialjob.h>
#include <qgsmapsettings.h>
#include <qgspallabeling.h>
#include <qgsprintlayout.h>
#include <qgssinglesymbolrenderer.h>
#include <qgstextformat.h>
#include <qgsvectorlayerlabeling.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace bramlotte;

namespace {

struct Result {
    int status;
    QString out, err;
};

Result runProgram(const QStringList& args) {
    QProcess p;
    p.setProgram(BRAMLOTTE_CLI);
    p.setArguments(args);
    p.start();
    p.waitForFinished(300000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QStringList indexArgs(const QString& map) {
    return {"build", map,        "--layer1", "pages",    "--field1",
            "PAGE",  "--layer2", "streets",  "--field2", "name"};
}

// A project over Monaco's layers with one print layout of one A4 portrait page.
QString monacoProject(const QString& folder, const QString& monaco) {
    const QString path = folder + "/atlas.qgz";
    QgsProject p;
    p.addMapLayer(new QgsVectorLayer(monaco + "|layername=streets", "streets", "ogr"));
    p.addMapLayer(new QgsVectorLayer(monaco + "|layername=pages", "pages", "ogr"));
    auto* layout = new QgsPrintLayout(&p);
    layout->initializeDefaults();
    layout->setName("Index");
    layout->pageCollection()->page(0)->setPageSize(
        QgsLayoutSize(210, 297, QgsUnitTypes::LayoutMillimeters));
    p.layoutManager()->addLayout(layout);
    EXPECT_TRUE(p.write(path));
    return path;
}

QString pdfText(const QString& pdf) {
    QProcess p;
    p.start("pdftotext", {"-raw", pdf, "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct Placed {
    int page;
    QRectF box;  // mm on its page
    QString text;
};

std::vector<Placed> labelsOf(const QString& project) {
    QgsProject p;
    EXPECT_TRUE(p.read(project));
    std::vector<Placed> placed;
    const QList<QgsPrintLayout*> layouts = p.layoutManager()->printLayouts();
    if (layouts.isEmpty()) {
        return placed;
    }
    QList<QgsLayoutItemLabel*> labels;
    layouts.first()->layoutItems(labels);
    for (QgsLayoutItemLabel* l : labels) {
        const QPointF at = l->pagePos();
        const QgsLayoutSize size = l->sizeWithUnits();
        placed.push_back({l->page(), QRectF(at, QSizeF(size.width(), size.height())), l->text()});
    }
    return placed;
}

int pagesOf(const QString& project) {
    QgsProject p;
    EXPECT_TRUE(p.read(project));
    return p.layoutManager()->printLayouts().first()->pageCollection()->pageCount();
}

}  // namespace

TEST(PrintReady, MonacoFitsThreeAndFourColumnsOfA4) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    const Result window = runProgram(indexArgs(monaco) + QStringList{"--output", "window"});
    ASSERT_EQ(window.status, 0) << window.err.toStdString();
    const QStringList lines = window.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 557);

    for (const int columns : {3, 4}) {
        QTemporaryDir dir;
        const QString project = monacoProject(dir.path(), monaco);
        const QString pdf = dir.filePath("index.pdf");
        const Result r =
            runProgram(indexArgs(project) + QStringList{"--output", "layout", "--columns",
                                                        QString::number(columns), "--layout-fit",
                                                        "--layout-pdf", pdf, "--save-project"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();

        const std::vector<Placed> placed = labelsOf(project);
        ASSERT_GE(placed.size(), lines.size()) << columns;
        // Inside the printable area (10 mm margins), and no box over another.
        const QRectF printable(10, 10, 190, 277);
        for (size_t i = 0; i < placed.size(); ++i) {
            const Placed& a = placed[i];
            EXPECT_TRUE(printable.adjusted(-1e-3, -1e-3, 1e-3, 1e-3).contains(a.box))
                << columns << " columns: " << a.text.toStdString() << " at " << a.box.left() << ","
                << a.box.top() << " " << a.box.width() << "x" << a.box.height();
            for (size_t j = i + 1; j < placed.size(); ++j) {
                const Placed& b = placed[j];
                const QRectF both = a.box.intersected(b.box);
                EXPECT_FALSE(a.page == b.page && both.width() > 1e-3 && both.height() > 1e-3)
                    << a.text.toStdString() << " | " << b.text.toStdString() << " "
                    << both.height();
            }
        }
        // The pages needed were added: the last one holds text, and every
        // page before it is full enough to need the next.
        int lastPage = 0;
        for (const Placed& p : placed) {
            lastPage = std::max(lastPage, p.page);
        }
        EXPECT_EQ(pagesOf(project), lastPage + 1) << columns;
        EXPECT_GE(lastPage, 1) << "557 lines of 6 pt need more than one A4 page";

        // Every index line is in the PDF as text, in its order.
        const QString text = pdfText(pdf).simplified();
        ASSERT_FALSE(text.isEmpty()) << "pdftotext read nothing";
        int found = 0;
        int from = 0;
        for (const QString& line : lines) {
            // A wrapped line reads with its parts apart: look for its key.
            const QString key = line.section("...", 0, 0).simplified() + "...";
            const int at = text.indexOf(key, from);
            found += at >= 0;
            from = at >= 0 ? at : from;
        }
        EXPECT_EQ(found, lines.size()) << columns << " columns";
    }
}

TEST(PrintReady, RangesAndHeadingsInTheTextFileOnly) {
    QTemporaryDir dir;
    const QString town = dir.filePath("town.gpkg");
    QProcess make;
    make.start(BRAMLOTTE_TOWN, {town, "3000"});
    ASSERT_TRUE(make.waitForFinished(60000));
    const QString plain = dir.filePath("plain"), ranged = dir.filePath("ranged");
    ASSERT_EQ(runProgram(indexArgs(town) + QStringList{"--save-as", plain}).status, 0);
    ASSERT_EQ(
        runProgram(indexArgs(town) + QStringList{"--save-as", ranged, "--ranges", "--headings"})
            .status,
        0);
    QFile a(plain + ".txt"), b(ranged + ".txt");
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QStringList before = QString::fromUtf8(a.readAll()).split("\r\n", Qt::SkipEmptyParts);
    const QStringList after = QString::fromUtf8(b.readAll()).split("\r\n", Qt::SkipEmptyParts);

    // Three pages in a row that follow one another are left nowhere.
    const QRegularExpression run(R"(\b([A-Z]+)(\d+), \1(\d+), \1(\d+)\b)");
    int ranges = 0;
    QStringList lines;
    for (const QString& line : after) {
        if (!line.contains("...")) {
            EXPECT_EQ(line.size(), 1) << "a heading is one letter: " << line.toStdString();
            continue;
        }
        lines << line;
        ranges += line.count(QRegularExpression(R"([A-Z]+\d+-[A-Z]+\d+)"));
        for (auto m = run.globalMatch(line); m.hasNext();) {
            const auto g = m.next();
            EXPECT_FALSE(g.captured(3).toInt() == g.captured(2).toInt() + 1 &&
                         g.captured(4).toInt() == g.captured(3).toInt() + 1)
                << line.toStdString();
        }
    }
    EXPECT_GT(ranges, 10);
    EXPECT_EQ(lines.size(), before.size());  // a line per street still
    EXPECT_GT(after.size(), before.size());  // and the headings

    // The table keeps one page a cell.
    const Result table = runProgram(indexArgs(town) + QStringList{"--output", "table", "--ranges",
                                                                  "--save-as", dir.filePath("t")});
    ASSERT_EQ(table.status, 0);
    QFile t(dir.filePath("t.csv"));
    ASSERT_TRUE(t.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QString::fromUtf8(t.readAll()).contains(QRegularExpression(R"(\d-[A-Z])")));
}

TEST(PrintReady, AGridOfA4PagesAtOneToTenThousandCoversMonaco) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QTemporaryDir dir;
    const QString grid = dir.filePath("grid.gpkg");
    Result r = runProgram({"grid", monaco, "--layer", "streets", "--paper", "A4", "--scale",
                           "10000", "--save-as", grid});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, grid + "\n");

    QgsVectorLayer pages(grid + "|layername=pages", "pages", "ogr");
    ASSERT_TRUE(pages.isValid());
    QStringList names;
    QVector<QgsGeometry> cells;
    QgsFeature f;
    int pageNo = 0;
    for (auto it = pages.getFeatures(); it.nextFeature(f);) {
        names << f.attribute("PAGE").toString();
        EXPECT_EQ(f.attribute("PAGE").toString(),
                  f.attribute("ROW").toString() + f.attribute("COL").toString());
        EXPECT_EQ(f.attribute("PAGE_NO").toInt(), ++pageNo);
        const QgsRectangle box = f.geometry().boundingBox();
        EXPECT_NEAR(box.width(), 2100, 1e-6);   // 210 mm at 1:10 000
        EXPECT_NEAR(box.height(), 2970, 1e-6);  // 297 mm
        cells << f.geometry();
    }
    // Monaco's streets span 6 pages from west to east and 3 from north to south.
    EXPECT_EQ(names, (QStringList{"A1", "A2", "A3", "A4", "A5", "A6", "B1", "B2", "B3", "B4", "B5",
                                  "B6", "C1", "C2", "C3", "C4", "C5", "C6"}));
    EXPECT_EQ(pages.crs().authid(), "EPSG:32632");
    EXPECT_EQ(pages.fields().names(), (QStringList{"fid", "PAGE", "ROW", "COL", "PAGE_NO", "NORTH",
                                                   "EAST", "SOUTH", "WEST"}));
    EXPECT_FALSE(QgsVectorLayer(grid + "|layername=squares", "squares", "ogr").isValid());

    // Every street lies within the pages, also when only pages with streets
    // are kept.
    const QString kept = dir.filePath("kept.gpkg");
    r = runProgram({"grid", monaco, "--layer", "streets", "--paper", "A4", "--scale", "10000",
                    "--only-where-data", "--save-as", kept});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QgsVectorLayer keptPages(kept + "|layername=pages", "pages", "ogr");
    QVector<QgsGeometry> keptCells;
    for (auto it = keptPages.getFeatures(); it.nextFeature(f);) {
        keptCells << f.geometry();
    }
    EXPECT_LT(keptCells.size(), cells.size());
    const QgsGeometry all = QgsGeometry::unaryUnion(cells);
    const QgsGeometry some = QgsGeometry::unaryUnion(keptCells);
    QgsVectorLayer streets(monaco + "|layername=streets", "streets", "ogr");
    int outside = 0;
    for (auto it = streets.getFeatures(); it.nextFeature(f);) {
        outside += !all.contains(f.geometry()) + !some.contains(f.geometry());
    }
    EXPECT_EQ(outside, 0);

    // The grid is a Layer #1 at once: every street name finds its pages.
    const QString atlas = dir.filePath("atlas.qgs");
    {
        QgsProject p;
        p.addMapLayer(new QgsVectorLayer(kept + "|layername=pages", "pages", "ogr"));
        p.addMapLayer(new QgsVectorLayer(monaco + "|layername=streets", "streets", "ogr"));
        ASSERT_TRUE(p.write(atlas));
    }
    r = runProgram(indexArgs(atlas) + QStringList{"--output", "window"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList index = r.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(index.size(), 557);
    for (const QString& line : index) {
        EXPECT_TRUE(line.contains(QRegularExpression(R"(\.\.\. [A-C][1-6])")))
            << line.toStdString();
    }
    // An existing file is not replaced unasked.
    EXPECT_EQ(runProgram({"grid", monaco, "--layer", "streets", "--cell", "500", "--save-as", kept})
                  .status,
              1);
}

namespace {

struct OgrCloser {
    void operator()(void* ds) const { GDALClose(ds); }
};
struct GeometryDeleter {
    void operator()(OGRGeometryH g) const { OGR_G_DestroyGeometry(g); }
};
struct FeatureDeleter {
    void operator()(OGRFeatureH f) const { OGR_F_Destroy(f); }
};
using Dataset = std::unique_ptr<void, OgrCloser>;
using Geometry = std::unique_ptr<std::remove_pointer_t<OGRGeometryH>, GeometryDeleter>;
using Feature = std::unique_ptr<std::remove_pointer_t<OGRFeatureH>, FeatureDeleter>;

Dataset openVector(const QString& path) {
    return Dataset(GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr,
                              nullptr, nullptr));
}

Geometry box(double xMin, double yMin, double xMax, double yMax) {
    OGRGeometryH ring = OGR_G_CreateGeometry(wkbLinearRing);
    OGR_G_AddPoint_2D(ring, xMin, yMin);
    OGR_G_AddPoint_2D(ring, xMax, yMin);
    OGR_G_AddPoint_2D(ring, xMax, yMax);
    OGR_G_AddPoint_2D(ring, xMin, yMax);
    OGR_G_AddPoint_2D(ring, xMin, yMin);
    OGRGeometryH polygon = OGR_G_CreateGeometry(wkbPolygon);
    OGR_G_AddGeometryDirectly(polygon, ring);
    return Geometry(polygon);
}

// The index lines "name... items" as name → items.
std::map<QString, QStringList> entries(const QString& window) {
    std::map<QString, QStringList> byName;
    for (const QString& line : window.split('\n', Qt::SkipEmptyParts)) {
        const int at = line.lastIndexOf("... ");
        byName[line.left(at)] = line.mid(at + 4).split(", ");
    }
    return byName;
}

// "12 B3-D3" written out: "12 B3", "12 C3", "12 D3" (columns of one letter).
QStringList expanded(const QStringList& items) {
    QStringList all;
    const QRegularExpression range(R"(^(\d+) ([A-Z])(\d+)-([A-Z])(\d+)$)");
    for (const QString& item : items) {
        const auto m = range.match(item);
        if (!m.hasMatch()) {
            all << item;
            continue;
        }
        EXPECT_EQ(m.captured(3), m.captured(5)) << "a range down a column: " << item.toStdString();
        for (QChar c = m.captured(2).at(0); c <= m.captured(4).at(0); c = QChar(c.unicode() + 1)) {
            all << m.captured(1) + " " + c + m.captured(3);
        }
    }
    return all;
}

}  // namespace

TEST(PrintReady, SquaresOnMonacosPagesAndTheIndexBySquare) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QTemporaryDir dir;
    const QString grid = dir.filePath("grid.gpkg");
    Result r = runProgram({"grid", monaco, "--layer", "streets", "--paper", "A4", "--scale",
                           "10000", "--only-where-data", "--squares", "4x5", "--save-as", grid});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();

    // The pages and their neighbours: each points back, and is the page kept
    // on that side of the grid.
    QgsVectorLayer pages(grid + "|layername=pages", "pages", "ogr");
    ASSERT_TRUE(pages.isValid());
    struct Page {
        QgsRectangle rect;
        QString row;
        int column;
        QVariant side[4];  // NORTH, EAST, SOUTH, WEST
    };
    std::map<int, Page> byNo;
    std::map<std::pair<QString, int>, int> at;  // (ROW, COL) → PAGE_NO
    QgsFeature f;
    for (auto it = pages.getFeatures(); it.nextFeature(f);) {
        Page p{f.geometry().boundingBox(),
               f.attribute("ROW").toString(),
               f.attribute("COL").toInt(),
               {}};
        int i = 0;
        for (const char* side : {"NORTH", "EAST", "SOUTH", "WEST"}) {
            p.side[i++] = f.attribute(side);
        }
        byNo[f.attribute("PAGE_NO").toInt()] = p;
        at[{p.row, p.column}] = f.attribute("PAGE_NO").toInt();
    }
    ASSERT_GE(byNo.size(), 5u);
    const auto rowBefore = [](const QString& row) {
        return QString(QChar(row.at(0).unicode() - 1));
    };
    const auto rowAfter = [](const QString& row) {
        return QString(QChar(row.at(0).unicode() + 1));
    };
    int nulls = 0;
    for (const auto& [no, p] : byNo) {
        const std::pair<QString, int> beside[4] = {{rowBefore(p.row), p.column},
                                                   {p.row, p.column + 1},
                                                   {rowAfter(p.row), p.column},
                                                   {p.row, p.column - 1}};
        for (int side = 0; side < 4; ++side) {
            const auto there = at.find(beside[side]);
            if (there == at.end()) {
                EXPECT_TRUE(p.side[side].isNull()) << no << " side " << side;
                nulls += p.side[side].isNull();
                continue;
            }
            ASSERT_EQ(p.side[side].toInt(), there->second) << no << " side " << side;
            EXPECT_EQ(byNo[there->second].side[(side + 2) % 4].toInt(), no);
            // A neighbour shares the edge on that side.
            const QgsRectangle& o = byNo[there->second].rect;
            const double shared[4][2] = {{o.yMinimum(), p.rect.yMaximum()},
                                         {o.xMinimum(), p.rect.xMaximum()},
                                         {o.yMaximum(), p.rect.yMinimum()},
                                         {o.xMaximum(), p.rect.xMinimum()}};
            EXPECT_NEAR(shared[side][0], shared[side][1], 1e-6);
        }
    }
    EXPECT_GT(nulls, 4);  // the grid's edges, and pages left out

    // Twenty squares a page, inside it and filling it, page by page, row by
    // row from the north, west to east.
    QgsVectorLayer squares(grid + "|layername=squares", "squares", "ogr");
    ASSERT_TRUE(squares.isValid());
    EXPECT_EQ(squares.fields().names(), (QStringList{"fid", "PAGE", "PAGE_NO", "SQUARE", "REF"}));
    EXPECT_EQ(squares.crs().authid(), "EPSG:32632");
    std::map<int, double> areaOf;
    int n = 0;
    for (auto it = squares.getFeatures(); it.nextFeature(f); ++n) {
        const int no = f.attribute("PAGE_NO").toInt();
        ASSERT_LT(n / 20, static_cast<int>(byNo.size()));
        const int page = std::next(byNo.begin(), n / 20)->first;
        const QString square = f.attribute("SQUARE").toString();
        EXPECT_EQ(no, page) << n;
        EXPECT_EQ(square, QString(QChar(u'A' + n % 4)) + QString::number(n % 20 / 4 + 1)) << n;
        EXPECT_EQ(f.attribute("REF").toString(), QString::number(no) + " " + square);
        EXPECT_EQ(f.attribute("PAGE").toString(), byNo[no].row + QString::number(byNo[no].column));
        const QgsRectangle b = f.geometry().boundingBox();
        EXPECT_TRUE(byNo[no].rect.buffered(1e-6).contains(b)) << square.toStdString();
        EXPECT_NEAR(b.width(), 2100.0 / 4, 1e-6);
        EXPECT_NEAR(b.height(), 2970.0 / 5, 1e-6);
        areaOf[no] += f.geometry().area();
    }
    EXPECT_EQ(n, 20 * static_cast<int>(byNo.size()));
    for (const auto& [no, area] : areaOf) {
        EXPECT_NEAR(area, 2100.0 * 2970.0, 1e-3) << no;
    }

    // The index by square, against an independent count: the squares each
    // street meets, from the pages' corners and the streets' shapes by OGR.
    const QStringList build{"build",    grid,       monaco,     "--layer1", "squares",
                            "--field1", "REF",      "--layer2", "streets",  "--field2",
                            "name",     "--output", "window"};
    r = runProgram(build);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const std::map<QString, QStringList> index = entries(r.out);
    const QRegularExpression form(R"(^\d+ [A-D][1-5]$)");
    for (const auto& [name, items] : index) {
        for (const QString& item : items) {
            EXPECT_TRUE(form.match(item).hasMatch())
                << name.toStdString() << "... " << item.toStdString();
        }
    }

    std::vector<std::pair<QString, Geometry>> squareShapes;  // in the table's order
    for (const auto& [no, p] : byNo) {
        const QgsRectangle& e = p.rect;
        for (int row = 0; row < 5; ++row) {
            for (int col = 0; col < 4; ++col) {
                const double x0 = e.xMinimum() + e.width() * col / 4;
                const double x1 =
                    col == 3 ? e.xMaximum() : e.xMinimum() + e.width() * (col + 1) / 4;
                const double y1 = e.yMaximum() - e.height() * row / 5;
                const double y0 =
                    row == 4 ? e.yMinimum() : e.yMaximum() - e.height() * (row + 1) / 5;
                squareShapes.emplace_back(
                    QString::number(no) + " " + QChar(u'A' + col) + QString::number(row + 1),
                    box(x0, y0, x1, y1));
            }
        }
    }
    const Dataset streets = openVector(monaco);
    ASSERT_TRUE(streets);
    OGRLayerH layer = GDALDatasetGetLayerByName(streets.get(), "streets");
    ASSERT_NE(layer, nullptr);
    std::map<QString, std::vector<Geometry>> shapesOf;
    OGR_L_ResetReading(layer);
    for (Feature s(OGR_L_GetNextFeature(layer)); s; s.reset(OGR_L_GetNextFeature(layer))) {
        const int field = OGR_F_GetFieldIndex(s.get(), "name");
        if (!OGR_F_IsFieldSetAndNotNull(s.get(), field) || !OGR_F_GetGeometryRef(s.get())) {
            continue;
        }
        shapesOf[QString::fromUtf8(OGR_F_GetFieldAsString(s.get(), field))].emplace_back(
            OGR_G_Clone(OGR_F_GetGeometryRef(s.get())));
    }
    int checked = 0, severalPages = 0;
    for (const auto& [name, shapes] : shapesOf) {
        QStringList expected;
        for (const auto& [ref, square] : squareShapes) {
            for (const Geometry& shape : shapes) {
                if (OGR_G_Intersects(shape.get(), square.get())) {
                    expected << ref;
                    break;
                }
            }
        }
        const auto line = index.find(name);
        if (expected.isEmpty() && line == index.end()) {
            continue;
        }
        ASSERT_NE(line, index.end()) << name.toStdString();
        EXPECT_EQ(line->second, expected) << name.toStdString();
        ++checked;
        severalPages += expected.first().section(' ', 0, 0) != expected.last().section(' ', 0, 0);
    }
    EXPECT_EQ(checked, static_cast<int>(index.size()));
    EXPECT_GT(severalPages, 10);

    // With ranges: runs along a row of one page collapse to "12 B3-D3", and
    // written out again give the plain line.
    r = runProgram(build + QStringList{"--ranges"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    int ranges = 0;
    const QRegularExpression unmerged(R"(\b(\d+) ([A-Z])(\d+), \1 ([A-Z])\3, \1 ([A-Z])\3\b)");
    for (const auto& [name, items] : entries(r.out)) {
        EXPECT_EQ(expanded(items), index.at(name)) << name.toStdString();
        ranges += items.filter(QRegularExpression(R"(^\d+ [A-D][1-5]-[A-D][1-5]$)")).size();
        for (auto m = unmerged.globalMatch(items.join(", ")); m.hasNext();) {
            const auto g = m.next();
            EXPECT_FALSE(g.captured(4).at(0).unicode() == g.captured(2).at(0).unicode() + 1 &&
                         g.captured(5).at(0).unicode() == g.captured(4).at(0).unicode() + 1)
                << name.toStdString();
        }
    }
    EXPECT_GT(ranges, 5);

    // Bad squares are bad usage, and a grid of too many squares is refused:
    // no file either way.
    for (const char* bad : {"4x", "0x3", "ax2", "4x5x2", "1001x1"}) {
        const QString target = dir.filePath(QString("bad-%1.gpkg").arg(bad));
        r = runProgram({"grid", monaco, "--layer", "streets", "--cell", "500", "--squares", bad,
                        "--save-as", target});
        EXPECT_EQ(r.status, 64) << bad;
        EXPECT_TRUE(r.err.contains("--squares")) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(target)) << bad;
    }
    const QString many = dir.filePath("many.gpkg");
    r = runProgram({"grid", monaco, "--layer", "streets", "--cell", "500", "--squares", "1000x1000",
                    "--save-as", many});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("squares")) << r.err.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList{"grid.gpkg"});  // nothing left beside the grid
}

namespace {

// The lines of the text file `path`.
QStringList textLines(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts)
               : QStringList{"<missing>"};
}

// The heading a line of a text file with headings stands under.
QString headingAbove(const QStringList& lines, const QString& line) {
    for (int at = lines.indexOf(line); at >= 0; --at) {
        if (!lines[at].contains("...")) {
            return lines[at];
        }
    }
    return QString();
}

// A town of the given street names, one straight segment each, across one page.
QString namedTown(const QString& folder, const QStringList& names) {
    const QString path = folder + "/named.gpkg";
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GPKG"), path.toUtf8().constData(), 0, 0, 0,
                                 GDT_Unknown, nullptr);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 32632);
    OGRLayerH streets = GDALDatasetCreateLayer(ds, "streets", srs, wkbLineString, nullptr);
    OGRFieldDefnH name = OGR_Fld_Create("name", OFTString);
    OGR_L_CreateField(streets, name, TRUE);
    OGR_Fld_Destroy(name);
    for (int i = 0; i < names.size(); ++i) {
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(streets));
        OGR_F_SetFieldString(f, 0, names[i].toUtf8().constData());
        OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
        OGR_G_AddPoint_2D(line, 500000 + 10 * i, 5000000);
        OGR_G_AddPoint_2D(line, 500000 + 10 * i, 5000050);
        OGR_F_SetGeometryDirectly(f, line);
        EXPECT_EQ(OGR_L_CreateFeature(streets, f), OGRERR_NONE);
        OGR_F_Destroy(f);
    }
    OGRLayerH pages = GDALDatasetCreateLayer(ds, "pages", srs, wkbPolygon, nullptr);
    OGRFieldDefnH page = OGR_Fld_Create("PAGE", OFTString);
    OGR_L_CreateField(pages, page, TRUE);
    OGR_Fld_Destroy(page);
    OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(pages));
    OGR_F_SetFieldString(f, 0, "A1");
    char* wkt = const_cast<char*>(
        "POLYGON ((499990 4999990, 501000 4999990, 501000 5000100, 499990 5000100, 499990 "
        "4999990))");
    OGRGeometryH square = nullptr;
    OGR_G_CreateFromWkt(&wkt, srs, &square);
    OGR_F_SetGeometryDirectly(f, square);
    EXPECT_EQ(OGR_L_CreateFeature(pages, f), OGRERR_NONE);
    OGR_F_Destroy(f);
    OSRDestroySpatialReference(srs);
    GDALClose(ds);
    return path;
}

}  // namespace

TEST(PrintReady, FilingUnderTheNameOnMonaco) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QTemporaryDir dir;
    const Result r =
        runProgram(indexArgs(monaco) + QStringList{"--file-under-name=fr", "--headings",
                                                   "--save-as", dir.filePath("filed")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = textLines(dir.filePath("filed.txt"));
    EXPECT_EQ(headingAbove(lines, "Paix (Rue de la)... J3"), "P");
    EXPECT_EQ(headingAbove(lines, "Armes (Place d')... J12"), "A");
    // Few lines still begin with a type word: a key that is only a type, or
    // a name that is itself a type word after its own type was filed.
    const QRegularExpression type(
        "^(Rue|Avenue|Boulevard|Place|Allée|Impasse|Chemin|Route|Quai|Escaliers?|Passage|"
        "Square|Rampe|Montée|Descente|Traverse|Tunnel|Pont|Rond-Point|Promenade|Esplanade) ");
    const QStringList typed = lines.filter(type);
    EXPECT_LE(typed.size(), 5) << typed.join(" | ").toStdString();
    // Filed lines sort as they read: the letters' order holds throughout.
    const QStringList plain = textLines(dir.filePath("filed.txt")).filter("...");
    EXPECT_EQ(plain.size(), 557);

    // The table writes the filed form too; the field output the pages as before.
    const Result table =
        runProgram(indexArgs(monaco) + QStringList{"--file-under-name=fr", "--output", "table",
                                                   "--save-as", dir.filePath("t")});
    ASSERT_EQ(table.status, 0) << table.err.toStdString();
    EXPECT_TRUE(textLines(dir.filePath("t.csv")).contains("Paix (Rue de la),J3"));
    // A language without street types is refused as bad usage.
    EXPECT_EQ(runProgram(indexArgs(monaco) + QStringList{"--file-under-name=xx"}).status, 64);
}

TEST(PrintReady, SameNamedStreetsApartByQuarterAsAnIndependentComputationHasThem) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QProcess python;
    python.start("/usr/bin/python3", {BRAMLOTTE_LOCALITY_ENTRIES, monaco});
    ASSERT_TRUE(python.waitForFinished(300000));
    if (python.exitCode() != 0) {
        GTEST_SKIP() << "the reference cannot run: " << python.readAllStandardError().toStdString();
    }
    const QJsonObject expected = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    ASSERT_GE(expected.size(), 5);

    const Result r =
        runProgram(indexArgs(monaco) + QStringList{"--output", "window", "--localities", "quarters",
                                                   "--locality-field", "name"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    std::map<QString, QStringList> entries;
    for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
        QStringList pages = line.section("... ", 1).split(", ");
        pages.sort();
        entries[line.section("...", 0, 0)] = pages;
    }
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        QStringList pages;
        for (const QJsonValue& page : it.value().toArray()) {
            pages << page.toString();
        }
        ASSERT_TRUE(entries.count(it.key())) << it.key().toStdString();
        EXPECT_EQ(entries[it.key()], pages) << it.key().toStdString();
    }
    EXPECT_TRUE(entries.count("Boulevard Charles III (Fontvieille)"));
    EXPECT_FALSE(entries.count("Boulevard Charles III"));
    EXPECT_TRUE(r.err.contains("in one locality in pieces far apart")) << r.err.toStdString();
    // With filing under the name, the locality follows a comma.
    const Result filed = runProgram(
        indexArgs(monaco) + QStringList{"--output", "window", "--localities", "quarters",
                                        "--locality-field", "name", "--file-under-name=fr"});
    EXPECT_TRUE(filed.out.contains("Charles III (Boulevard), Fontvieille... "))
        << filed.out.left(400).toStdString();
}

TEST(PrintReady, NumericOrderComparesDigitsAsNumbers) {
    QTemporaryDir dir;
    const QString town = namedTown(dir.path(), {"10th Street", "2nd Street", "Rue 10", "Rue 2",
                                                "Avenue 100", "Avenue 20", "1st Street"});
    const Result plain = runProgram(indexArgs(town) + QStringList{"--output", "window"});
    const Result numeric =
        runProgram(indexArgs(town) + QStringList{"--output", "window", "--numeric-order"});
    ASSERT_EQ(numeric.status, 0) << numeric.err.toStdString();
    auto keys = [](const QString& out) {
        QStringList k;
        for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
            k << line.section("...", 0, 0);
        }
        return k;
    };
    EXPECT_EQ(keys(numeric.out), (QStringList{"1st Street", "2nd Street", "10th Street",
                                              "Avenue 20", "Avenue 100", "Rue 2", "Rue 10"}));
    EXPECT_EQ(keys(plain.out), (QStringList{"10th Street", "1st Street", "2nd Street", "Avenue 100",
                                            "Avenue 20", "Rue 10", "Rue 2"}));
}

TEST(PrintReady, MonacoFitsOneLetterPage) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QTemporaryDir dir;
    const QString project = dir.filePath("atlas.qgz");
    {
        QgsProject p;
        p.addMapLayer(new QgsVectorLayer(monaco + "|layername=streets", "streets", "ogr"));
        p.addMapLayer(new QgsVectorLayer(monaco + "|layername=pages", "pages", "ogr"));
        ASSERT_TRUE(p.write(project));  // no layout: a Letter one is made
    }
    const QString pdf = dir.filePath("index.pdf");
    const Result r = runProgram(indexArgs(project) +
                                QStringList{"--output", "layout", "--columns", "4", "--layout-fit",
                                            "--fit-pages", "1", "--ranges", "--headings",
                                            "--layout-pdf", pdf, "--save-project"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("does not fit")) << r.err.toStdString();
    EXPECT_EQ(pagesOf(project), 1);
    const std::vector<Placed> placed = labelsOf(project);
    ASSERT_GE(placed.size(), 557u);
    const QRectF printable(10, 10, 8.5 * 25.4 - 20, 11 * 25.4 - 20);
    double points = 0;
    for (size_t i = 0; i < placed.size(); ++i) {
        EXPECT_EQ(placed[i].page, 0);
        EXPECT_TRUE(printable.adjusted(-1e-3, -1e-3, 1e-3, 1e-3).contains(placed[i].box))
            << placed[i].text.toStdString();
        for (size_t j = i + 1; j < placed.size(); ++j) {
            const QRectF both = placed[i].box.intersected(placed[j].box);
            EXPECT_FALSE(both.width() > 1e-3 && both.height() > 1e-3)
                << placed[i].text.toStdString() << " | " << placed[j].text.toStdString();
        }
    }
    QgsProject reread;
    ASSERT_TRUE(reread.read(project));
    QList<QgsLayoutItemLabel*> labels;
    reread.layoutManager()->printLayouts().first()->layoutItems(labels);
    points = labels.first()->font().pointSizeF();
    EXPECT_LT(points, 6.0);  // shrunk to fit
    EXPECT_GE(points, 4.0);
    const QString text = pdfText(pdf).simplified();
    const Result window = runProgram(indexArgs(monaco) + QStringList{"--output", "window"});
    int found = 0;
    for (const QString& line : window.out.split('\n', Qt::SkipEmptyParts)) {
        found += text.contains(line.section("...", 0, 0).simplified() + "...");
    }
    EXPECT_EQ(found, 557);

    // Three pages of Monaco cannot be one page even at 4 pt: a warning, and
    // the index flows on at 4 pt.
    const Result tight = runProgram(
        indexArgs(project) + QStringList{"--output", "layout", "--columns", "1", "--layout-fit",
                                         "--font-size", "12", "--fit-pages", "1"});
    ASSERT_EQ(tight.status, 0) << tight.err.toStdString();
    EXPECT_TRUE(tight.err.contains("The index does not fit 1 page even at 4 pt: it takes "))
        << tight.err.toStdString();
}

// The README's pictures, made from what the program writes: a fitted index
// page filed under the name with headings, and a page grid with its squares
// over Monaco's streets. They are left in the build folder's
// tests/pictures, to be looked at (and copied into docs/ when they change).
TEST(PrintReady, PicturesOfTheIndexAndTheGrid) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    const QString pictures = QStringLiteral(BRAMLOTTE_PICTURES);
    QDir().mkpath(pictures);
    QTemporaryDir dir;
    const QString project = monacoProject(dir.path(), monaco);
    const QString pdf = dir.filePath("index.pdf");
    const Result r = runProgram(indexArgs(project) +
                                QStringList{"--output", "layout", "--columns", "4", "--layout-fit",
                                            "--ranges", "--headings", "--file-under-name=fr",
                                            "--fit-pages", "1", "--layout-pdf", pdf});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QProcess render;
    // The upper left of the page, large enough to read.
    render.start("pdftoppm",
                 {"-png", "-r", "200", "-f", "1", "-l", "1", "-x", "40", "-y", "40", "-W", "820",
                  "-H", "520", "-singlefile", pdf, pictures + "/index-page"});
    ASSERT_TRUE(render.waitForFinished(60000));
    ASSERT_EQ(render.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(pictures + "/index-page.png"));

    const QString grid = dir.filePath("grid.gpkg");
    ASSERT_EQ(runProgram({"grid", monaco, "--layer", "streets", "--paper", "A4", "--scale", "10000",
                          "--only-where-data", "--squares", "4x5", "--save-as", grid})
                  .status,
              0);
    QgsVectorLayer streets(monaco + "|layername=streets", "streets", "ogr");
    QgsVectorLayer squares(grid + "|layername=squares", "squares", "ogr");
    QgsVectorLayer pages(grid + "|layername=pages", "pages", "ogr");
    ASSERT_TRUE(streets.isValid() && squares.isValid() && pages.isValid());
    auto outline = [](QgsVectorLayer& layer, const QColor& colour, double width) {
        auto* fill = new QgsSimpleFillSymbolLayer(Qt::transparent, Qt::NoBrush, colour,
                                                  Qt::SolidLine, width);
        layer.setRenderer(new QgsSingleSymbolRenderer(new QgsFillSymbol({fill})));
    };
    outline(squares, QColor(120, 150, 200), 0.15);
    outline(pages, QColor(30, 60, 160), 0.6);
    auto* line = new QgsSimpleLineSymbolLayer(QColor(90, 90, 90), 0.3);
    streets.setRenderer(new QgsSingleSymbolRenderer(new QgsLineSymbol({line})));
    QgsPalLayerSettings numbers;
    numbers.fieldName = "PAGE_NO";
    QgsTextFormat format;
    format.setSize(12);
    format.setColor(QColor(30, 60, 160));
    numbers.setFormat(format);
    numbers.placement = QgsPalLayerSettings::OverPoint;
    pages.setLabeling(new QgsVectorLayerSimpleLabeling(numbers));
    pages.setLabelsEnabled(true);
    QgsMapSettings settings;
    settings.setLayers({&pages, &squares, &streets});
    settings.setDestinationCrs(streets.crs());
    QgsRectangle extent = pages.extent();
    extent.scale(1.02);
    settings.setExtent(extent);
    settings.setOutputSize(QSize(900, static_cast<int>(900 * extent.height() / extent.width())));
    settings.setBackgroundColor(Qt::white);
    QgsMapRendererSequentialJob job(settings);
    job.start();
    job.waitForFinished();
    EXPECT_TRUE(job.renderedImage().save(pictures + "/grid-squares.png"));
}

namespace {

// The text lines of a PDF, by poppler's boxes: page, the page's size and
// the line's box, in points.
struct PdfLine {
    int page;
    QSizeF paper;
    QRectF box;
    QString text;
};
std::vector<PdfLine> pdfLines(const QString& pdf) {
    QProcess p;
    p.start("pdftotext", {"-bbox-layout", pdf, "-"});
    p.waitForFinished(60000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    std::vector<PdfLine> lines;
    const QRegularExpression pageRe(
        QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">(.*?)</page>"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression lineRe(
        QStringLiteral("<line xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">(.*?)</line>"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression wordRe(R"(>([^<]*)</word>)");
    int page = 0;
    for (auto pages = pageRe.globalMatch(html); pages.hasNext(); ++page) {
        const auto pm = pages.next();
        const QSizeF paper(pm.captured(1).toDouble(), pm.captured(2).toDouble());
        for (auto ls = lineRe.globalMatch(pm.captured(3)); ls.hasNext();) {
            const auto lm = ls.next();
            QStringList words;
            for (auto ws = wordRe.globalMatch(lm.captured(5)); ws.hasNext();) {
                words << ws.next().captured(1);
            }
            lines.push_back({page, paper,
                             QRectF(QPointF(lm.captured(1).toDouble(), lm.captured(2).toDouble()),
                                    QPointF(lm.captured(3).toDouble(), lm.captured(4).toDouble())),
                             words.join(' ')});
        }
    }
    return lines;
}

}  // namespace

TEST(PrintReady, TheDemosIndexIsFittedWithRangesAndHeadings) {
    QTemporaryDir dir;
    const Result r = runProgram({"demo", dir.filePath("demo")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Print-ready index (PDF: four columns, ranges, headings): " +
                               dir.filePath("demo/index.pdf")))
        << r.out.toStdString();
    const std::vector<PdfLine> lines = pdfLines(dir.filePath("demo/index.pdf"));
    ASSERT_GT(lines.size(), 50u);
    int headings = 0, ranges = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const PdfLine& a = lines[i];
        headings += a.text.size() == 1;
        ranges += a.text.contains(QRegularExpression(R"([A-Z]+\d+-[A-Z]+\d+)"));
        EXPECT_TRUE(QRectF(QPointF(0, 0), a.paper).contains(a.box)) << a.text.toStdString();
        for (size_t j = i + 1; j < lines.size(); ++j) {
            const QRectF both = a.box.intersected(lines[j].box);
            EXPECT_FALSE(a.page == lines[j].page && both.width() > 0.01 && both.height() > 0.01)
                << a.text.toStdString() << " | " << lines[j].text.toStdString();
        }
    }
    EXPECT_GT(headings, 5);
    EXPECT_GT(ranges, 5);
}
