// Data that is not as it should be, through "Build Index": a read that ends
// on an error fails the build with the data source's own words and delivers
// nothing; a shape with a coordinate that is no finite number relates to
// nothing, and the rest of the index is what it would be without it.
#include "bench/town_generator.h"
#include "tests/testing/dialog_fixture.h"

#include <gdal.h>
#include <ogr_api.h>
#include <sqlite3.h>

#include <QComboBox>
#include <QDir>
#include <QRadioButton>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace bramlotte;
using Result = buildrun::BuildOutcome::Result;

namespace {

// Writes a generated town of `segments` street segments into `path`.
void writeTown(const QString& path, long long segments) {
    bench::TownOptions options;
    options.segments = segments;
    bench::generateTown(path.toStdString(), options);
}

// Overwrites one page of the file in the middle of `table`'s leaf pages
// (where its rows are) with zeros, as a bad disk sector or a torn copy would.
void zeroPageOf(const QString& path, const QString& table) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    std::vector<long long> leaves;
    long long pageSize = 0;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        pageSize = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    const QByteArray sql = "SELECT pageno FROM dbstat WHERE name = '" + table.toUtf8() +
                           "' AND pagetype = 'leaf' ORDER BY pageno";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            leaves.push_back(sqlite3_column_int64(st, 0));
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_GT(leaves.size(), 2u) << "the table has too few pages to damage one inside it";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek((leaves[leaves.size() / 2] - 1) * pageSize));
    ASSERT_EQ(file.write(QByteArray(static_cast<int>(pageSize), '\0')), pageSize);
}

// Puts `value` into the x of vertex `vertex` of feature `fid` of `table`
// (a line, or a polygon's outer ring), or deletes the feature when `remove`.
void editShape(const QString& path, const char* table, long long fid, int vertex, double value,
               bool remove = false) {
    GDALDatasetH ds = GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    OGRLayerH layer = GDALDatasetGetLayerByName(ds, table);
    if (remove) {
        EXPECT_EQ(OGR_L_DeleteFeature(layer, fid), OGRERR_NONE);
    } else {
        OGRFeatureH f = OGR_L_GetFeature(layer, fid);
        ASSERT_NE(f, nullptr);
        OGRGeometryH g = OGR_F_GetGeometryRef(f);
        OGRGeometryH line = OGR_G_GetGeometryCount(g) > 0 ? OGR_G_GetGeometryRef(g, 0) : g;
        OGR_G_SetPoint_2D(line, vertex, value, OGR_G_GetY(line, vertex));
        EXPECT_EQ(OGR_L_SetFeature(layer, f), OGRERR_NONE);
        OGR_F_Destroy(f);
    }
    GDALClose(ds);
}

// Replaces the shape of feature `fid` of `table` with `wkt`, written as it
// stands (an unclosed ring stays unclosed).
void setShape(const QString& path, const char* table, long long fid, const char* wkt) {
    GDALDatasetH ds = GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    OGRLayerH layer = GDALDatasetGetLayerByName(ds, table);
    OGRFeatureH f = OGR_L_GetFeature(layer, fid);
    ASSERT_NE(f, nullptr);
    OGRGeometryH g = nullptr;
    char* text = const_cast<char*>(wkt);
    ASSERT_EQ(OGR_G_CreateFromWkt(&text, nullptr, &g), OGRERR_NONE) << wkt;
    OGR_F_SetGeometryDirectly(f, g);
    EXPECT_EQ(OGR_L_SetFeature(layer, f), OGRERR_NONE);
    OGR_F_Destroy(f);
    GDALClose(ds);
}

// The outer ring of feature `fid` of `table` as its points' x and y.
std::vector<std::pair<double, double>> ringOf(const QString& path, const char* table,
                                              long long fid) {
    std::vector<std::pair<double, double>> points;
    GDALDatasetH ds =
        GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    OGRFeatureH f = OGR_L_GetFeature(GDALDatasetGetLayerByName(ds, table), fid);
    OGRGeometryH g = OGR_F_GetGeometryRef(f);
    while (OGR_G_GetGeometryCount(g) > 0) {
        g = OGR_G_GetGeometryRef(g, 0);  // multipolygon, polygon, then its outer ring
    }
    for (int i = 0; i < OGR_G_GetPointCount(g); ++i) {
        points.emplace_back(OGR_G_GetX(g, i), OGR_G_GetY(g, i));
    }
    OGR_F_Destroy(f);
    GDALClose(ds);
    return points;
}

// Cuts the stored shapes of `fids` of `table` short, past their header: a
// blob GDAL cannot parse.
void cutShapes(const QString& path, const char* table, const char* fids) {
    GDALDatasetH ds = GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    const QByteArray sql =
        QStringLiteral("UPDATE %1 SET geom = substr(geom, 1, 60) WHERE fid IN (%2)")
            .arg(QLatin1String(table), QLatin1String(fids))
            .toUtf8();
    GDALDatasetExecuteSQL(ds, sql.constData(), nullptr, nullptr);
    GDALClose(ds);
}

class DamagedDataTest : public testmaps::DialogFixture {
  protected:
    // The index lines of a window build on `paths`, or the outcome when the
    // build did not succeed.
    QStringList windowIndex(const QStringList& paths, Result expected = Result::Built) {
        dialog::frmMain& d = open(paths);
        chooseLayer1("pages", "PAGE");
        chooseLayer2("streets", "name");
        d.optWindow->setChecked(true);
        EXPECT_EQ(pressBuildIndex().result, expected);
        return d.resultList().lines();
    }
    // The description line of the last error box.
    QString reportedDescription() const {
        for (auto it = ui_->messages().rbegin(); it != ui_->messages().rend(); ++it) {
            const QStringList lines = it->text.split("\r\n");
            if (lines.size() == 19) {
                return lines[10];
            }
        }
        return QString();
    }
};

}  // namespace

TEST_F(DamagedDataTest, ADamagedGeoPackagePageFailsTheBuildInEitherLayer) {
    // Large enough for the store's two-thread read, and small.
    for (const long long segments : {25000LL, 3000LL}) {
        for (const char* table : {"streets", "pages"}) {
            const QString path = dir_.filePath(
                QStringLiteral("town-%1-%2.gpkg").arg(segments).arg(QLatin1String(table)));
            writeTown(path, segments);
            zeroPageOf(path, table);
            const QStringList lines = windowIndex({path}, Result::Failed);
            EXPECT_TRUE(lines.isEmpty()) << table;
            const QString said = reportedDescription();
            EXPECT_TRUE(said.contains(QStringLiteral("could not be read completely")) &&
                        said.contains(QStringLiteral("malformed")))
                << table << " " << segments << ": " << said.toStdString();
            EXPECT_TRUE(pointerIsDefault());
            EXPECT_FALSE(progress().isVisible());
        }
    }
}

TEST_F(DamagedDataTest, ATruncatedShapefileFailsTheBuild) {
    const QString town = dir_.filePath("town.gpkg");
    writeTown(town, 2000);
    const QString streets = dir_.filePath("streets.shp");
    const QString pages = dir_.filePath("pages.shp");
    for (const auto& [from, to] : {std::pair{"streets", streets}, std::pair{"pages", pages}}) {
        auto layer = testmaps::openLayer(town, from);
        ASSERT_TRUE(testmaps::writeShapefile(*layer, to));
    }
    EXPECT_FALSE(windowIndex({pages, streets}).isEmpty());  // whole, it reads
    QFile shp(streets);
    ASSERT_TRUE(shp.resize(shp.size() / 2));
    EXPECT_TRUE(windowIndex({pages, streets}, Result::Failed).isEmpty());
    EXPECT_TRUE(reportedDescription().contains(QStringLiteral(".shp")))
        << reportedDescription().toStdString();
}

TEST_F(DamagedDataTest, AShapeWithANonFiniteCoordinateRelatesToNothing) {
    const QString town = dir_.filePath("town.gpkg");
    writeTown(town, 3000);
    const QString without = dir_.filePath("without.gpkg");
    const QString broken = dir_.filePath("broken.gpkg");
    ASSERT_TRUE(QFile::copy(town, without));
    ASSERT_TRUE(QFile::copy(town, broken));
    // The same features left out of one copy are made unusable in the other:
    // a NaN street, an infinite one, a page with a NaN corner.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    editShape(broken, "streets", 120, 0, nan);
    editShape(broken, "streets", 777, 1, -inf);
    editShape(broken, "pages", 3, 2, nan);
    editShape(without, "streets", 120, 0, 0, true);
    editShape(without, "streets", 777, 0, 0, true);
    editShape(without, "pages", 3, 0, 0, true);

    const QStringList expected = windowIndex({without});
    ASSERT_GT(expected.size(), 100);
    ui_->clearMessages();
    EXPECT_EQ(windowIndex({broken}), expected);
    EXPECT_TRUE(ui_->messages().empty());
    // One warning per layer, naming the features.
    ASSERT_EQ(ui_->notes().size(), 2u);
    EXPECT_EQ(ui_->notes()[0].kind, support::Notice::Warning);
    EXPECT_EQ(ui_->notes()[0].text,
              "1 feature of layer pages was skipped: its shape holds a coordinate that is not a "
              "finite number (id 3).");
    EXPECT_EQ(ui_->notes()[1].text,
              "2 features of layer streets were skipped: their shapes hold coordinates that are "
              "not finite numbers (ids 120, 777).");
}

TEST_F(DamagedDataTest, ShapesThatCannotBeReadAreSkippedAndNamed) {
    // Large enough for the two-thread direct read of the streets.
    const QString town = dir_.filePath("town.gpkg");
    writeTown(town, 25000);
    const QString without = dir_.filePath("without.gpkg");
    const QString broken = dir_.filePath("broken.gpkg");
    ASSERT_TRUE(QFile::copy(town, without));
    ASSERT_TRUE(QFile::copy(town, broken));
    // Pages 8 and 10 and streets 50 and 20000 with blobs nobody can parse,
    // page 14 a ring of two points: left out of one copy, spoilt in the other.
    cutShapes(broken, "pages", "8, 10");
    cutShapes(broken, "streets", "50, 20000");
    const auto ring14 = ringOf(town, "pages", 14);
    ASSERT_EQ(ring14.size(), 5u);
    setShape(broken, "pages", 14,
             QStringLiteral("POLYGON ((%1 %2, %3 %4))")
                 .arg(ring14[0].first, 0, 'f')
                 .arg(ring14[0].second, 0, 'f')
                 .arg(ring14[1].first, 0, 'f')
                 .arg(ring14[1].second, 0, 'f')
                 .toUtf8()
                 .constData());
    for (const long long fid : {8, 10, 14}) {
        editShape(without, "pages", fid, 0, 0, true);
    }
    for (const long long fid : {50, 20000}) {
        editShape(without, "streets", fid, 0, 0, true);
    }
    // Page 12's ring left open in both copies: it is read closed.
    const auto ring12 = ringOf(town, "pages", 12);
    const QString open12 = QStringLiteral("POLYGON ((%1 %2, %3 %4, %5 %6, %7 %8))")
                               .arg(ring12[0].first, 0, 'f')
                               .arg(ring12[0].second, 0, 'f')
                               .arg(ring12[1].first, 0, 'f')
                               .arg(ring12[1].second, 0, 'f')
                               .arg(ring12[2].first, 0, 'f')
                               .arg(ring12[2].second, 0, 'f')
                               .arg(ring12[3].first, 0, 'f')
                               .arg(ring12[3].second, 0, 'f');
    setShape(broken, "pages", 12, open12.toUtf8().constData());

    const QStringList expected = windowIndex({without});
    ASSERT_GT(expected.size(), 1000);
    EXPECT_TRUE(std::any_of(expected.begin(), expected.end(),
                            [](const QString& l) { return l.contains(" A12"); }));
    ui_->clearMessages();
    EXPECT_EQ(windowIndex({broken}), expected);
    EXPECT_TRUE(ui_->messages().empty());
    QStringList notes;
    for (const auto& note : ui_->notes()) {
        EXPECT_EQ(note.kind, support::Notice::Warning);
        notes << note.text;
    }
    EXPECT_EQ(notes,
              QStringList({"2 features of layer pages were skipped: their shapes could not be "
                           "read (ids 8, 10).",
                           "1 feature of layer pages was skipped: its shape has a ring of fewer "
                           "than three points (id 14).",
                           "2 features of layer streets were skipped: their shapes could not be "
                           "read (ids 50, 20000)."}));
}
