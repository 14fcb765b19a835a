// The print-ready options through the program a map maker runs: the fitted
// layout on Monaco in three and four columns on A4, page ranges and letter
// headings in the text file, and the page grid over Monaco's streets.
#include "tests/testing/test_maps.h"

#include <qgsfeatureiterator.h>
#include <qgslayoutitemlabel.h>
#include <qgslayoutitempage.h>
#include <qgslayoutmanager.h>
#include <qgslayoutpagecollection.h>
#include <qgsprintlayout.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
