// The street atlas on Monaco: the page grid and the index made by the real
// program, the atlas made as a report of the project, filled with the fitted
// index and exported to one PDF, whose pages are read back with poppler's
// tools: page numbers, neighbours at the edges, the squares' names where the
// grid's squares table puts them, the index lines, progress, cancellation,
// and the report kept in the saved project.
#include "map/qgis/program/street_atlas.h"
#include "buildrun/fitted_layout.h"
#include "map/qgis/desktop/qgis_document.h"
#include "print/page_grid.h"
#include "support/base/failure.h"
#include "tests/testing/child_program.h"
#include "tests/testing/test_maps.h"

#include <qgsfillsymbol.h>
#include <qgslayertree.h>
#include <qgslayoutitemmap.h>
#include <qgslayoutmanager.h>
#include <qgslayoutpagecollection.h>
#include <qgslinesymbol.h>
#include <qgsmarkersymbol.h>
#include <qgspallabeling.h>
#include <qgsreportsectionfieldgroup.h>
#include <qgssinglesymbolrenderer.h>
#include <qgsvectorlayerlabeling.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <numeric>

using namespace bramlotte;

namespace {

constexpr double kMmPerPt = 25.4 / 72.0;

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " " << args.join(' ').toStdString() << ": "
                      << p.readAllStandardError().toStdString();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

bool havePoppler() {
    return !QStandardPaths::findExecutable("pdftotext").isEmpty() &&
           !QStandardPaths::findExecutable("pdfinfo").isEmpty();
}

int pdfPages(const QString& pdf) {
    const QString info = run("pdfinfo", {pdf});
    const QRegularExpressionMatch m = QRegularExpression(R"(Pages:\s+(\d+))").match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pageText(const QString& pdf, int page, bool raw = false) {
    QStringList args{"-f", QString::number(page), "-l", QString::number(page)};
    if (raw) {
        args << "-raw";
    }
    return run("pdftotext", args << pdf << "-");
}

// A word of a PDF page, its box in millimetres from the page's upper left.
struct Word {
    QString text;
    QRectF box;
};

std::vector<Word> pageWords(const QString& pdf, int page) {
    const QString html = run(
        "pdftotext", {"-f", QString::number(page), "-l", QString::number(page), "-bbox", pdf, "-"});
    static const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    std::vector<Word> words;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString text = m.captured(5);
        text.replace("&amp;", "&")
            .replace("&lt;", "<")
            .replace("&gt;", ">")
            .replace("&quot;", "\"");
        words.push_back(
            {text, QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()) * kMmPerPt,
                          QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()) * kMmPerPt)});
    }
    return words;
}

// The words `text` whose middle lies within `area`.
std::vector<Word> wordsIn(const std::vector<Word>& words, const QString& text, const QRectF& area) {
    std::vector<Word> found;
    for (const Word& w : words) {
        if (w.text == text && area.contains(w.box.center())) {
            found.push_back(w);
        }
    }
    return found;
}

// Within the frame at the middle of its edge on `side`.
QRectF insideEdge(const QRectF& frame, const QString& side) {
    const QPointF c = frame.center();
    if (side == "NORTH") {
        return QRectF(c.x() - 12, frame.top(), 24, 10);
    }
    if (side == "SOUTH") {
        return QRectF(c.x() - 12, frame.bottom() - 10, 24, 10);
    }
    if (side == "EAST") {
        return QRectF(frame.right() - 20, c.y() - 6, 20, 12);
    }
    return QRectF(frame.left(), c.y() - 6, 20, 12);
}

// The names of a page's squares stand at their middles beside the frame:
// columns above and below it, rows left and right of it.
void expectSquareNames(const std::vector<Word>& words, const QRectF& frame, const QString& column,
                       const QString& row, const QPointF& middle, const std::string& square) {
    constexpr double tolerance = 2.0;  // millimetres
    const auto spot = [&](double x, double y) {
        return QRectF(x - tolerance, y - tolerance, 2 * tolerance, 2 * tolerance);
    };
    for (const double y : {frame.top() - 3.5, frame.bottom() + 3.5}) {
        EXPECT_EQ(wordsIn(words, column, spot(middle.x(), y)).size(), 1u)
            << square << " at y " << y;
    }
    for (const double x : {frame.left() - 3.0, frame.right() + 3.0}) {
        EXPECT_EQ(wordsIn(words, row, spot(x, middle.y())).size(), 1u) << square << " at x " << x;
    }
}

struct GridPageRow {
    QgsRectangle rect;
    int pageNo = 0;
    std::map<QString, int> neighbours;  // "NORTH" … "WEST"; absent for NULL
};

struct SquareRow {
    QgsRectangle rect;
    QString square;
};

void styleLayers(QgsVectorLayer& quarters, QgsVectorLayer& streets, QgsVectorLayer& pois) {
    quarters.setRenderer(new QgsSingleSymbolRenderer(QgsFillSymbol::createSimple(
        {{"color", "238,232,213"}, {"outline_color", "170,150,120"}, {"outline_width", "0.3"}})));
    streets.setRenderer(new QgsSingleSymbolRenderer(
        QgsLineSymbol::createSimple({{"color", "120,120,120"}, {"width", "0.5"}})));
    pois.setRenderer(new QgsSingleSymbolRenderer(QgsMarkerSymbol::createSimple(
        {{"color", "200,40,40"}, {"size", "1.2"}, {"outline_style", "no"}})));
    QgsPalLayerSettings names;
    names.fieldName = "name";
    names.placement = QgsPalLayerSettings::Curved;
    QgsTextFormat format;
    format.setFont(QFont("Arial"));
    format.setSize(6);
    format.setColor(QColor(40, 40, 40));
    names.setFormat(format);
    streets.setLabeling(new QgsVectorLayerSimpleLabeling(names));
    streets.setLabelsEnabled(true);
}

// Monaco's layers and its page grid in one project, the grid and the index
// made by the bramlotte program.
class MonacoAtlas : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const QString monaco = testmaps::sharedData("monaco.gpkg");
        if (monaco.isEmpty() || !havePoppler()) {
            return;
        }
        folder_ = new QTemporaryDir;
        // To look at what the tests made: the grid, the PDF, the project.
        if (std::getenv("BRAMLOTTE_ATLAS_KEEP")) {
            folder_->setAutoRemove(false);
            std::cout << "kept in " << folder_->path().toStdString() << std::endl;
        }
        grid_ = folder_->filePath("grid.gpkg");
        run(BRAMLOTTE_CLI, {"grid", monaco, "--layer", "streets", "--paper", "A4", "--scale",
                            "10000", "--only-where-data", "--squares", "4x5", "--save-as", grid_});
        run(BRAMLOTTE_CLI, {"build", grid_, monaco, "--layer1", "squares", "--field1", "REF",
                            "--layer2", "streets", "--field2", "name", "--ranges", "--headings",
                            "--save-as", folder_->filePath("index")});
        QFile index(folder_->filePath("index.txt"));
        if (index.open(QIODevice::ReadOnly)) {
            indexLines_ = new QStringList(
                QString::fromUtf8(index.readAll()).split("\r\n", Qt::SkipEmptyParts));
        }
    }
    static void TearDownTestSuite() {
        delete indexLines_;
        indexLines_ = nullptr;
        delete folder_;
        folder_ = nullptr;
    }

    void SetUp() override {
        if (!folder_ || !indexLines_) {
            GTEST_SKIP() << "monaco.gpkg (" BRAMLOTTE_SHARED_DATA
                            ") or poppler's pdftotext and "
                            "pdfinfo are missing";
        }
        const QString monaco = testmaps::sharedData("monaco.gpkg");
        auto quarters = testmaps::openLayer(monaco, "quarters");
        auto streets = testmaps::openLayer(monaco, "streets");
        auto pois = testmaps::openLayer(monaco, "pois");
        auto pages = testmaps::openLayer(grid_, "pages");
        auto squares = testmaps::openLayer(grid_, "squares");
        ASSERT_TRUE(quarters->isValid() && streets->isValid() && pois->isValid() &&
                    pages->isValid() && squares->isValid());
        styleLayers(*quarters, *streets, *pois);
        pages_ = pages.get();
        squares_ = squares.get();
        // Added top first, as a map maker would stack them.
        for (auto* layer : {pages.release(), squares.release(), pois.release(), streets.release(),
                            quarters.release()}) {
            project_.addMapLayer(layer, false);
            project_.layerTreeRoot()->addLayer(layer);
        }
        project_.setCrs(pages_->crs());

        QgsFeatureRequest byNumber;
        byNumber.addOrderBy("PAGE_NO", true);
        QgsFeature f;
        for (QgsFeatureIterator it = pages_->getFeatures(byNumber); it.nextFeature(f);) {
            GridPageRow row{f.geometry().boundingBox(), f.attribute("PAGE_NO").toInt(), {}};
            for (const char* side : {"NORTH", "EAST", "SOUTH", "WEST"}) {
                if (!f.attribute(side).isNull()) {
                    row.neighbours[side] = f.attribute(side).toInt();
                }
            }
            gridPages_.push_back(row);
        }
        for (QgsFeatureIterator it = squares_->getFeatures(); it.nextFeature(f);) {
            squaresByPage_[f.attribute("PAGE_NO").toInt()].push_back(
                {f.geometry().boundingBox(), f.attribute("SQUARE").toString()});
        }
    }

    qgishost::StreetAtlasSettings settings(const QString& title = "Monaco") const {
        qgishost::StreetAtlasSettings s;
        s.title = title;
        s.pages = pages_;
        s.scale = 10000;
        for (int c = 1; c <= 4; ++c) {
            s.squareColumns << print::RowLetters(c);
        }
        for (int r = 1; r <= 5; ++r) {
            s.squareRows << QString::number(r);
        }
        s.hiddenLayers << squares_;
        return s;
    }

    // The index lines as the fitted layout takes them: a heading is a letter.
    static std::vector<print::FlowLine> flowLines() {
        std::vector<print::FlowLine> lines;
        for (const QString& line : *indexLines_) {
            lines.push_back({line, !line.contains("...")});
        }
        return lines;
    }

    void fillIndex(const qgishost::StreetAtlas& atlas) {
        qgishost::LayoutDocument document(project_, atlas.indexLayout());
        buildrun::PrintOptions options;
        options.fitLayout = true;
        buildrun::PlaceFitted(document, QString(), flowLines(), 4, options);
    }

    static QTemporaryDir* folder_;
    static QString grid_;
    static QStringList* indexLines_;
    QgsProject project_;
    QgsVectorLayer* pages_ = nullptr;
    QgsVectorLayer* squares_ = nullptr;
    std::vector<GridPageRow> gridPages_;
    std::map<int, std::vector<SquareRow>> squaresByPage_;
};

QTemporaryDir* MonacoAtlas::folder_ = nullptr;
QString MonacoAtlas::grid_;
QStringList* MonacoAtlas::indexLines_ = nullptr;

TEST_F(MonacoAtlas, MapPagesThenIndexInOnePdf) {
    ASSERT_GE(gridPages_.size(), 4u);
    QElapsedTimer clock;
    clock.start();
    const qgishost::StreetAtlas atlas = qgishost::makeStreetAtlas(project_, settings());
    const qint64 made = clock.restart();
    fillIndex(atlas);
    const qint64 filled = clock.restart();
    const int indexPages = atlas.indexLayout().pageCollection()->pageCount();
    EXPECT_GE(indexPages, 2) << "Monaco's index runs over more than one page";
    EXPECT_EQ(atlas.mapPageCount(), static_cast<int>(gridPages_.size()));
    // A4 less the margin, the header and the squares' bands: 180 mm wide
    // for the 2100 m of a page.
    EXPECT_NEAR(atlas.mapFrame().width(), 180.0, 1e-6);
    EXPECT_NEAR(atlas.mapScale(), 2100.0 * 1000 / 180.0, 1e-6);

    const QString pdf = folder_->filePath("atlas.pdf");
    std::vector<int> announced;
    std::vector<qint64> startedAt;
    qgishost::AtlasExportControl control;
    control.progress = [&](int page, int pages) {
        announced.push_back(page);
        startedAt.push_back(clock.elapsed());
        EXPECT_EQ(pages, 1 + atlas.mapPageCount() + indexPages);
    };
    clock.restart();
    qgishost::exportAtlasPdf(atlas.report(), pdf, control);
    const qint64 exported = clock.elapsed();
    const int total = 1 + atlas.mapPageCount() + indexPages;
    ASSERT_EQ(pdfPages(pdf), total);
    std::vector<int> everyPage(static_cast<size_t>(total));
    std::iota(everyPage.begin(), everyPage.end(), 1);
    EXPECT_EQ(announced, everyPage);
    EXPECT_EQ(testrun::namesIn(folder_->path()).filter("atlas.pdf"), QStringList{"atlas.pdf"});

    EXPECT_TRUE(pageText(pdf, 1).contains("Monaco"));

    const QRectF frame = atlas.mapFrame();
    const std::map<QString, QString> arrows{
        {"NORTH", "↑"}, {"EAST", "→"}, {"SOUTH", "↓"}, {"WEST", "←"}};
    for (size_t k = 0; k < gridPages_.size(); ++k) {
        const GridPageRow& page = gridPages_[k];
        const int pdfPage = 2 + static_cast<int>(k);
        SCOPED_TRACE("page " + std::to_string(page.pageNo));
        const std::vector<Word> words = pageWords(pdf, pdfPage);
        // Its own number, large in the header's right half.
        const std::vector<Word> own =
            wordsIn(words, QString::number(page.pageNo), QRectF(105, 10, 95, frame.top() - 10 - 4));
        ASSERT_EQ(own.size(), 1u);
        EXPECT_GT(own[0].box.height(), 6.0) << "printed large";

        // Each neighbour's number with its arrow at the middle of its edge,
        // inside the frame; no arrow where there is none.
        for (const auto& [side, arrow] : arrows) {
            const QRectF near = insideEdge(frame, side);
            const auto found = page.neighbours.find(side);
            if (found == page.neighbours.end()) {
                EXPECT_TRUE(wordsIn(words, arrow, QRectF(0, 0, 210, 297)).empty())
                    << side.toStdString();
            } else {
                EXPECT_EQ(wordsIn(words, arrow, near).size(), 1u) << side.toStdString();
                EXPECT_EQ(wordsIn(words, QString::number(found->second), near).size(), 1u)
                    << side.toStdString() << " " << found->second;
            }
        }

        // The squares' names above and below the frame and beside it, each at
        // the middle of its square in the grid's squares table.
        const auto squares = squaresByPage_.find(page.pageNo);
        ASSERT_NE(squares, squaresByPage_.end());
        ASSERT_EQ(squares->second.size(), 20u);
        const auto toPaper = [&](double x, double y) {
            return QPointF(
                frame.left() + (x - page.rect.xMinimum()) / page.rect.width() * frame.width(),
                frame.top() + (page.rect.yMaximum() - y) / page.rect.height() * frame.height());
        };
        for (const SquareRow& square : squares->second) {
            const QString column = square.square.section(QRegularExpression("\\d"), 0, 0);
            expectSquareNames(words, frame, column, square.square.mid(column.size()),
                              toPaper(square.rect.center().x(), square.rect.center().y()),
                              square.square.toStdString());
        }
    }

    // The index pages hold every index line, in order.
    QString index;
    for (int p = 2 + atlas.mapPageCount(); p <= total; ++p) {
        index += pageText(pdf, p, true);
    }
    index = index.simplified();
    int from = 0, found = 0;
    for (const QString& line : *indexLines_) {
        const int at =
            index.indexOf(line.contains("...") ? line.section("...", 0, 0) + "..." : line, from);
        found += at >= 0;
        from = at >= 0 ? at : from;
    }
    EXPECT_EQ(found, indexLines_->size());

    // Where the time goes: per page, from one page's start to the next.
    startedAt.push_back(exported);
    qint64 mapTime = 0, indexTime = 0;
    for (int p = 1; p <= total; ++p) {
        const qint64 spent = startedAt[p] - startedAt[p - 1];
        (p >= 2 && p <= 1 + atlas.mapPageCount() ? mapTime : indexTime) += spent;
    }
    std::cout << "atlas of " << total << " pages: made in " << made << " ms, index placed in "
              << filled << " ms; export " << exported << " ms: before the first page "
              << startedAt[0] << " ms, title and index pages " << indexTime << " ms, "
              << atlas.mapPageCount() << " map pages " << mapTime << " ms" << std::endl;
}

TEST_F(MonacoAtlas, CancelledPartWayLeavesTheOldFile) {
    const qgishost::StreetAtlas atlas = qgishost::makeStreetAtlas(project_, settings());
    fillIndex(atlas);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("atlas.pdf");
    testrun::writeFile(pdf, "an older atlas");
    for (const int stopAt : {1, 4}) {
        int asked = 0, drawn = 0;
        qgishost::AtlasExportControl control;
        control.cancelled = [&] { return ++asked == stopAt; };
        control.progress = [&](int, int) { ++drawn; };
        try {
            qgishost::exportAtlasPdf(atlas.report(), pdf, control);
            ADD_FAILURE() << "not cancelled";
        } catch (const support::Failure& e) {
            EXPECT_EQ(e.number(), support::error::kCancelled) << e.description().toStdString();
        }
        EXPECT_EQ(asked, stopAt);
        EXPECT_EQ(drawn, stopAt - 1);
        EXPECT_EQ(testrun::bytesOf(pdf), "an older atlas");
        EXPECT_EQ(testrun::namesIn(dir.path()), QStringList{"atlas.pdf"});
    }
    // A progress that throws stops the export the same way.
    qgishost::AtlasExportControl failing;
    failing.progress = [](int page, int) {
        if (page == 3) {
            throw support::Failure(support::error::kCancelled, "stopped");
        }
    };
    EXPECT_THROW(qgishost::exportAtlasPdf(atlas.report(), pdf, failing), support::Failure);
    EXPECT_EQ(testrun::bytesOf(pdf), "an older atlas");
    EXPECT_EQ(testrun::namesIn(dir.path()), QStringList{"atlas.pdf"});

    // Nothing of the cancelled runs stays in the layouts: all pages export.
    QFile::remove(pdf);
    qgishost::exportAtlasPdf(atlas.report(), pdf);
    EXPECT_EQ(pdfPages(pdf),
              1 + atlas.mapPageCount() + atlas.indexLayout().pageCollection()->pageCount());
}

TEST_F(MonacoAtlas, KeptInTheProjectUnderItsNameAndReplaced) {
    qgishost::StreetAtlasSettings s = settings("");
    s.squareColumns.clear();
    s.squareRows.clear();
    qgishost::makeStreetAtlas(project_, settings());
    const qgishost::StreetAtlas atlas = qgishost::makeStreetAtlas(project_, s);
    QgsLayoutManager& manager = *project_.layoutManager();
    ASSERT_EQ(manager.layouts().size(), 1);
    EXPECT_EQ(manager.layouts().first(), &atlas.report());
    EXPECT_EQ(atlas.report().name(), "Street atlas");
    // Without squares the map fills the height under the header (297 mm
    // less the margins and the header), the page's shape kept.
    EXPECT_NEAR(atlas.mapFrame().height(), 265.0, 1e-6);
    EXPECT_NEAR(atlas.mapFrame().width(), 265.0 * 2100 / 2970, 1e-6);

    // A print layout of that name is not replaced.
    auto mine = std::make_unique<QgsPrintLayout>(&project_);
    mine->initializeDefaults();
    mine->setName("Mine");
    manager.addLayout(mine.release());
    s.name = "Mine";
    EXPECT_THROW(qgishost::makeStreetAtlas(project_, s), support::Failure);
    EXPECT_EQ(manager.layouts().size(), 2);
    EXPECT_EQ(manager.layoutByName("Mine")->layoutType(), QgsMasterLayoutInterface::PrintLayout);

    // Saved and read back: the report with its map pages and its index.
    fillIndex(atlas);
    QTemporaryDir dir;
    const QString path = folder_->filePath("atlas.qgs");
    ASSERT_TRUE(project_.write(path));
    QgsProject read;
    ASSERT_TRUE(read.read(path));
    auto* report = dynamic_cast<QgsReport*>(read.layoutManager()->layoutByName("Street atlas"));
    ASSERT_NE(report, nullptr);
    ASSERT_EQ(report->childCount(), 2);
    auto* maps = dynamic_cast<QgsReportSectionFieldGroup*>(report->childSection(0));
    ASSERT_NE(maps, nullptr);
    ASSERT_NE(maps->layer(), nullptr);
    EXPECT_EQ(maps->layer()->source(), pages_->source());
    QList<QgsLayoutItemMap*> mapItems;
    maps->body()->layoutItems(mapItems);
    ASSERT_EQ(mapItems.size(), 1);
    EXPECT_TRUE(mapItems.first()->atlasDriven());
    const QString pdf = dir.filePath("atlas.pdf");
    qgishost::exportAtlasPdf(*report, pdf);
    EXPECT_EQ(pdfPages(pdf),
              atlas.mapPageCount() + atlas.indexLayout().pageCollection()->pageCount());
    // No title page: the first page is map page 1, with its number.
    EXPECT_EQ(wordsIn(pageWords(pdf, 1), "1", QRectF(105, 10, 95, 12)).size(), 1u);
}

// Pages of a layer that is no grid: apart by no whole square, listed out of
// order, one side's field missing. The squares and neighbours follow each
// page, not the first one's.
TEST(StreetAtlas, SquaresAndNeighboursFollowEachPage) {
    if (!havePoppler()) {
        GTEST_SKIP() << "poppler's pdftotext and pdfinfo are missing";
    }
    QgsProject project;
    const QString second = "POLYGON((1000 -2000, 3100 -2000, 3100 970, 1000 970, 1000 -2000))";
    const QString first = "POLYGON((0 0, 2100 0, 2100 2970, 0 2970, 0 0))";
    auto layer = testmaps::memoryLayer(
        "sheets", "Polygon", {"PAGE_NO:integer", "NORTH:integer", "EAST:integer", "WEST:integer"},
        {{second, {2, QVariant(), QVariant(), 1}}, {first, {1, QVariant(), 2, QVariant()}}});
    QgsVectorLayer* pages = layer.get();
    project.addMapLayer(layer.release());
    qgishost::StreetAtlasSettings s;
    s.pages = pages;
    s.squareColumns = QStringList{"A", "B"};
    s.squareRows = QStringList{"1", "2", "3"};
    const qgishost::StreetAtlas atlas = qgishost::makeStreetAtlas(project, s);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("sheets.pdf");
    qgishost::exportAtlasPdf(atlas.report(), pdf);
    ASSERT_EQ(pdfPages(pdf), 3);
    const QRectF frame = atlas.mapFrame();
    const std::map<QString, QString> arrows{
        {"NORTH", "↑"}, {"EAST", "→"}, {"SOUTH", "↓"}, {"WEST", "←"}};
    for (const int page : {1, 2}) {
        SCOPED_TRACE("page " + std::to_string(page));
        const std::vector<Word> words = pageWords(pdf, page);
        EXPECT_EQ(wordsIn(words, QString::number(page), QRectF(105, 10, 95, 12)).size(), 1u);
        const QString side = page == 1 ? "EAST" : "WEST";
        EXPECT_EQ(wordsIn(words, arrows.at(side), insideEdge(frame, side)).size(), 1u);
        EXPECT_EQ(wordsIn(words, QString::number(3 - page), insideEdge(frame, side)).size(), 1u);
        for (const auto& [other, arrow] : arrows) {
            if (other != side) {
                EXPECT_TRUE(wordsIn(words, arrow, QRectF(0, 0, 210, 297)).empty())
                    << other.toStdString();
            }
        }
        for (int c = 0; c < 2; ++c) {
            for (int r = 0; r < 3; ++r) {
                const QPointF middle(frame.left() + frame.width() * (2 * c + 1) / 4,
                                     frame.top() + frame.height() * (2 * r + 1) / 6);
                expectSquareNames(words, frame, s.squareColumns[c], s.squareRows[r], middle,
                                  (s.squareColumns[c] + s.squareRows[r]).toStdString());
            }
        }
    }

    // What cannot make an atlas is refused, the project unchanged.
    s.numberField = "PAGE";
    EXPECT_THROW(qgishost::makeStreetAtlas(project, s), support::Failure);
    s.numberField = "PAGE_NO";
    s.squareRows.clear();
    EXPECT_THROW(qgishost::makeStreetAtlas(project, s), support::Failure);
    s.pages = nullptr;
    EXPECT_THROW(qgishost::makeStreetAtlas(project, s), support::Failure);
    EXPECT_EQ(project.layoutManager()->layouts().size(), 1);
}

}  // namespace
