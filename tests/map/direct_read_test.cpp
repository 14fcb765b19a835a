// A GeoPackage table read straight from its file gives exactly what QGIS's
// feature iterator gives: the same ids, values of every type, shapes and
// boxes. Layers QGIS changes on the way take QGIS's path, and a damaged
// page still fails the read.
#include "map/qgis/reading/direct_read.h"
#include "map/qgis/features/layer_cursor.h"
#include "map/qgis/reading/geopackage_features.h"
#include "map/qgis/reading/layer_reading.h"
#include "map/store/feature_table.h"
#include "map/store/geopackage_rows.h"
#include "support/base/failure.h"
#include "tests/testing/same_rows.h"
#include "tests/testing/test_maps.h"

#include <gdal.h>
#include <ogr_api.h>
#include <sqlite3.h>

#include <qgsvectordataprovider.h>
#include <qgsvectorlayerjoininfo.h>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <thread>
#include <tuple>

using namespace bramlotte;
using qgishost::readDirectly;
using qgishost::readRows;
using qgishost::readThroughIterator;
using qgishost::StoreRows;

using testmaps::expectSameRows;

namespace {

constexpr size_t kNeverSplit = std::numeric_limits<size_t>::max();

// GDAL warns of single parts in a multipart table, which are wanted here.
struct QuietGdal {
    QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietGdal() { CPLPopErrorHandler(); }
    QuietGdal(const QuietGdal&) = delete;
    QuietGdal& operator=(const QuietGdal&) = delete;
};

// Shapes of every dimension, single and multipart, with empty and null ones.
const char* const kShapes[] = {
    "LINESTRING (0 0, 1 1)",
    "LINESTRING Z (0 0 4, 2 1 5, 3 3 6)",
    "LINESTRING M (1 0 4, 2 1 5)",
    "LINESTRING ZM (5 5 1 2, 6 7 3 4)",
    "MULTILINESTRING ((0 0, 1 1), (4 4, 5 6))",
    "MULTILINESTRING Z ((0 0 1, 1 1 1))",
    "LINESTRING EMPTY",
    "MULTILINESTRING EMPTY",
    nullptr,  // no shape
};

// Gives feature `f` the shape written `wkt`.
void setShape(OGRFeatureH f, const char* wkt) {
    OGRGeometryH g = nullptr;
    char* text = const_cast<char*>(wkt);
    ASSERT_EQ(OGR_G_CreateFromWkt(&text, nullptr, &g), OGRERR_NONE) << wkt;
    OGR_F_SetGeometryDirectly(f, g);
}

// A GeoPackage table `table` of `count` features of every field type the
// direct read converts, some values null, shapes from kShapes; every fifth
// feature from the eleventh on deleted, so the ids have gaps.
void writeTable(const QString& path, const char* table, OGRwkbGeometryType type, int count) {
    const QuietGdal quiet;
    GDALDriverH driver = GDALGetDriverByName("GPKG");
    GDALDatasetH ds =
        QFile::exists(path)
            ? GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr,
                         nullptr, nullptr)
            : GDALCreate(driver, path.toUtf8().constData(), 0, 0, 0, GDT_Unknown, nullptr);
    ASSERT_NE(ds, nullptr);
    OGRLayerH layer = GDALDatasetCreateLayer(ds, table, nullptr, type, nullptr);
    ASSERT_NE(layer, nullptr);
    const std::pair<const char*, OGRFieldType> fields[] = {
        {"i32", OFTInteger}, {"i64", OFTInteger64}, {"r", OFTReal},
        {"t", OFTString},    {"b", OFTInteger},     {"d", OFTDate}};
    for (const auto& [name, fieldType] : fields) {
        OGRFieldDefnH f = OGR_Fld_Create(name, fieldType);
        if (std::string(name) == "b") {
            OGR_Fld_SetSubType(f, OFSTBoolean);
        }
        ASSERT_EQ(OGR_L_CreateField(layer, f, TRUE), OGRERR_NONE);
        OGR_Fld_Destroy(f);
    }
    ASSERT_EQ(OGR_L_StartTransaction(layer), OGRERR_NONE);
    const int shapes = sizeof(kShapes) / sizeof(kShapes[0]);
    for (int i = 0; i < count; ++i) {
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        if (i % 7 != 3) {
            OGR_F_SetFieldInteger(f, 0, i * (i % 2 ? -1 : 1));
        }
        if (i % 7 != 4) {
            OGR_F_SetFieldInteger64(f, 1, (1LL << 40) + i);
        }
        if (i % 7 != 5) {
            OGR_F_SetFieldDouble(f, 2, i / 3.0);
        }
        if (i % 9 != 2) {
            const QByteArray text =
                (i % 4 ? QStringLiteral("Straße %1").arg(i % 13) : QStringLiteral("Öja väg"))
                    .toUtf8();
            OGR_F_SetFieldString(f, 3, text.constData());
        }
        if (i % 6 != 1) {
            OGR_F_SetFieldInteger(f, 4, i % 2);
        }
        if (i % 8 != 6) {
            OGR_F_SetFieldDateTime(f, 5, 1990 + i % 30, 1 + i % 12, 1 + i % 28, 0, 0, 0, 0);
        }
        if (const char* wkt = kShapes[i % shapes]) {
            setShape(f, wkt);
        }
        ASSERT_EQ(OGR_L_CreateFeature(layer, f), OGRERR_NONE);
        OGR_F_Destroy(f);
    }
    for (GIntBig id = 11; id <= count; id += 5) {
        ASSERT_EQ(OGR_L_DeleteFeature(layer, id), OGRERR_NONE);
    }
    ASSERT_EQ(OGR_L_CommitTransaction(layer), OGRERR_NONE);
    GDALClose(ds);
}

// Zeroes a leaf page in the middle of `table`'s rows.
void zeroPageOf(const QString& path, const QString& table) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    const QByteArray sql =
        "SELECT pageno, (SELECT page_size FROM pragma_page_size) FROM dbstat "
        "WHERE name = '" +
        table.toUtf8() + "' AND pagetype = 'leaf'";
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr), SQLITE_OK);
    std::vector<std::pair<long long, long long>> leaves;
    while (sqlite3_step(st) == SQLITE_ROW) {
        leaves.emplace_back(sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_GT(leaves.size(), 4u);
    const auto [page, size] = leaves[leaves.size() / 2];
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek((page - 1) * size));
    ASSERT_EQ(file.write(QByteArray(static_cast<int>(size), '\0')), size);
}

class DirectRead : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.filePath("map.gpkg");
        writeTable(path_, "plain", wkbUnknown, 200);
        writeTable(path_, "multi", wkbMultiLineString, 200);
    }
    QTemporaryDir dir_;
    QString path_;
};

}  // namespace

TEST_F(DirectRead, GivesWhatQgisGivesForEveryTypeShapeAndIdGap) {
    for (const char* table : {"plain", "multi"}) {
        auto layer = testmaps::openLayer(path_, table);
        ASSERT_TRUE(layer->isValid());
        const StoreRows iterated = readThroughIterator(*layer);
        ASSERT_EQ(iterated.count(), 162u) << table;
        const std::optional<StoreRows> whole = readDirectly(*layer, kNeverSplit);
        ASSERT_TRUE(whole) << table;
        expectSameRows(*whole, iterated);
        // In two halves on two threads, the gaps unevenly spread.
        std::optional<StoreRows> halves = readDirectly(*layer, 10);
        ASSERT_TRUE(halves) << table;
        halves->sortById();
        expectSameRows(*halves, iterated);
    }
}

TEST_F(DirectRead, AFilterOfTheLayerIsTheTablesOwnOrQgisReads) {
    auto layer = testmaps::openLayer(path_, "plain");
    // A condition SQLite runs as GDAL does.
    ASSERT_TRUE(layer->setSubsetString("i32 % 3 <> 0 AND (t LIKE 'Stra%' OR d > '2005-01-01')"));
    const StoreRows iterated = readThroughIterator(*layer);
    ASSERT_GT(iterated.count(), 20u);
    ASSERT_LT(iterated.count(), 150u);
    const std::optional<StoreRows> direct = readDirectly(*layer, kNeverSplit);
    ASSERT_TRUE(direct);
    expectSameRows(*direct, iterated);
    // A function only GDAL's own connection knows: QGIS's path reads it.
    ASSERT_TRUE(layer->setSubsetString("ST_MinX(geom) > 1"));
    EXPECT_FALSE(readDirectly(*layer, kNeverSplit));
    const StoreRows filtered = readRows(*layer, kNeverSplit);
    ASSERT_GT(filtered.count(), 0u);
    expectSameRows(filtered, readThroughIterator(*layer));
}

TEST_F(DirectRead, UnsavedEditsJoinsAndExpressionFieldsTakeQgisPath) {
    auto layer = testmaps::openLayer(path_, "plain");
    ASSERT_TRUE(readDirectly(*layer, kNeverSplit));

    ASSERT_TRUE(layer->startEditing());
    ASSERT_TRUE(layer->changeAttributeValue(1, layer->fields().indexOf("t"), "Edited St"));
    EXPECT_FALSE(readDirectly(*layer, kNeverSplit));
    const StoreRows edited = readRows(*layer, kNeverSplit);
    EXPECT_EQ(edited.columns[4].at(0), QVariant("Edited St"));
    layer->rollBack();
    ASSERT_TRUE(readDirectly(*layer, kNeverSplit));

    auto other = testmaps::openLayer(path_, "multi");
    QgsVectorLayerJoinInfo join;
    join.setJoinLayer(other.get());
    join.setJoinFieldName("fid");
    join.setTargetFieldName("fid");
    join.setPrefix("j_");
    ASSERT_TRUE(layer->addJoin(join));
    EXPECT_FALSE(readDirectly(*layer, kNeverSplit));
    ASSERT_TRUE(layer->removeJoin(other->id()));
    ASSERT_TRUE(readDirectly(*layer, kNeverSplit));

    layer->addExpressionField("i32 * 2", QgsField("twice", QVariant::Int));
    EXPECT_FALSE(readDirectly(*layer, kNeverSplit));
}

TEST_F(DirectRead, CurvesAndDateTimesAreReadByQgis) {
    writeTable(path_, "curves", wkbCompoundCurve, 0);
    {
        const QuietGdal quiet;
        GDALDatasetH ds = GDALOpenEx(path_.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                     nullptr, nullptr, nullptr);
        OGRLayerH curves = GDALDatasetGetLayerByName(ds, "curves");
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(curves));
        OGRGeometryH g = nullptr;
        char* wkt = const_cast<char*>("CIRCULARSTRING (0 0, 1 1, 2 0)");
        ASSERT_EQ(OGR_G_CreateFromWkt(&wkt, nullptr, &g), OGRERR_NONE);
        OGR_F_SetGeometryDirectly(f, g);
        ASSERT_EQ(OGR_L_CreateFeature(curves, f), OGRERR_NONE);
        OGR_F_Destroy(f);
        OGRFieldDefnH when = OGR_Fld_Create("when", OFTDateTime);
        ASSERT_EQ(OGR_L_CreateField(GDALDatasetGetLayerByName(ds, "plain"), when, TRUE),
                  OGRERR_NONE);
        OGR_Fld_Destroy(when);
        GDALClose(ds);
    }
    auto curves = testmaps::openLayer(path_, "curves");
    EXPECT_FALSE(readDirectly(*curves, kNeverSplit));
    const StoreRows read = readRows(*curves, kNeverSplit);
    ASSERT_EQ(read.count(), 1u);
    EXPECT_TRUE(read.hasGeometry(0));  // the arc, as line segments
    auto plain = testmaps::openLayer(path_, "plain");
    EXPECT_FALSE(readDirectly(*plain, kNeverSplit));

    // A build that reads only "t" (field 4 after the id) needs no date and
    // time converted: the table is read directly, "t" as QGIS gives it, and
    // the fields left unread refuse to give a value.
    const int t = plain->dataProvider()->fields().indexFromName("t");
    store::WantedFields onlyT(static_cast<size_t>(t) + 1);
    onlyT[static_cast<size_t>(t)] = true;
    std::optional<StoreRows> direct = readDirectly(*plain, 10, onlyT);
    ASSERT_TRUE(direct);
    direct->sortById();
    const StoreRows iterated = readThroughIterator(*plain);
    ASSERT_EQ(direct->ids, iterated.ids);
    for (size_t c = 0; c < iterated.columns.size(); ++c) {
        EXPECT_EQ(direct->columns[c].isRead(), static_cast<int>(c) == t) << c;
    }
    for (size_t row = 0; row < iterated.count(); ++row) {
        const QVariant got = direct->columns[static_cast<size_t>(t)].at(row);
        const QVariant want = iterated.columns[static_cast<size_t>(t)].at(row);
        ASSERT_TRUE(got == want && got.isNull() == want.isNull()) << row;
    }
    store::FeatureTable table;
    table.load(std::move(*direct));
    EXPECT_TRUE(table.holdsValuesOf(t));
    EXPECT_FALSE(table.holdsValuesOf(t + 1));
    EXPECT_THROW(table.value(0, t + 1), support::Failure);
}

TEST_F(DirectRead, ADamagedPageFailsTheReadInEitherHalf) {
    QTemporaryDir dir;
    for (const size_t split : {kNeverSplit, size_t{10}}) {
        const QString path = dir.filePath(QStringLiteral("damaged-%1.gpkg").arg(split == 10));
        writeTable(path, "plain", wkbUnknown, 3000);
        zeroPageOf(path, "plain");
        auto layer = testmaps::openLayer(path, "plain");
        try {
            readDirectly(*layer, split);
            ADD_FAILURE() << "a damaged page was read without a failure";
        } catch (const support::Failure& e) {
            EXPECT_EQ(e.number(), support::error::kReadFailed);
            EXPECT_TRUE(e.description().contains("could not be read completely") &&
                        e.description().contains("malformed"))
                << e.description().toStdString();
        }
    }
}

TEST_F(DirectRead, ShapesNobodyCanReadAreHeldWithoutThemAsQgisReadsThem) {
    const QuietGdal quiet;
    GDALDatasetH ds = GDALOpenEx(path_.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    // Blobs cut short past their header, the WKB's point count kept: GDAL
    // cannot parse them either.
    GDALDatasetExecuteSQL(ds,
                          "UPDATE plain SET geom = substr(geom, 1, length(geom) - 9) "
                          "WHERE fid IN (2, 5, 30)",
                          nullptr, nullptr);
    GDALClose(ds);
    auto layer = testmaps::openLayer(path_, "plain");
    const StoreRows iterated = readThroughIterator(*layer);
    EXPECT_EQ(iterated.skipped.unreadable.lowestIds, (std::vector<long long>{2, 5, 30}));
    for (const size_t split : {kNeverSplit, size_t{10}}) {
        std::optional<StoreRows> direct = readDirectly(*layer, split);
        ASSERT_TRUE(direct) << "the direct read gave the layer up to QGIS";
        direct->sortById();
        expectSameRows(*direct, iterated);
    }
}

TEST_F(DirectRead, SparseIdsAreReadInHalvesOfAboutAsManyRows) {
    // Ids as OpenStreetMap's: wide gaps, most of them low in the range.
    const QuietGdal quiet;
    GDALDatasetH ds = GDALOpenEx(path_.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    GDALDatasetExecuteSQL(ds, "UPDATE plain SET fid = fid * 1000003 + 11", nullptr, nullptr);
    GDALDatasetExecuteSQL(ds,
                          "UPDATE plain SET fid = 4611686018427387000 WHERE fid = "
                          "(SELECT max(fid) FROM plain)",
                          nullptr, nullptr);
    GDALClose(ds);
    const store::RowSpread spread =
        store::rowSpreadOf(path_, "plain", "geom", 1000003 + 11, 4611686018427387000LL);
    EXPECT_EQ(spread.rows, 162);
    // The middle of the id range would put every row but one in one half.
    EXPECT_GT(spread.middleId, 50 * 1000003LL);
    EXPECT_LT(spread.middleId, 150 * 1000003LL);
    auto layer = testmaps::openLayer(path_, "plain");
    const StoreRows iterated = readThroughIterator(*layer);
    std::optional<StoreRows> halves = readDirectly(*layer, 10);
    ASSERT_TRUE(halves);
    halves->sortById();
    expectSameRows(*halves, iterated);
}

// Two readers of one range from its two ends: whatever way their reads
// interleave, every row is taken by one of them or lies in the gap they
// leave, none by both, and the pieces put together are the whole read.
TEST_F(DirectRead, ReadersFromBothEndsOfARangeTakeEveryRowOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath("meet.gpkg");
    writeTable(path, "plain", wkbUnknown, 3000);
    auto layer = testmaps::openLayer(path, "plain");
    std::optional<store::GeoPackageQuery> query = qgishost::geoPackageQueryOf(*layer);
    ASSERT_TRUE(query);
    const qint64 first = std::numeric_limits<qint64>::min();
    const qint64 last = std::numeric_limits<qint64>::max();
    const std::optional<StoreRows> whole = store::readGeoPackageRows(*query, first, last, "plain");
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->count(), 2402u);

    enum class Order { UpwardFirst, DownwardFirst, AtOnce };
    for (const Order order : {Order::UpwardFirst, Order::DownwardFirst, Order::AtOnce}) {
        for (int round = 0; round < (order == Order::AtOnce ? 12 : 1); ++round) {
            store::RangeMeeting meeting;
            std::optional<StoreRows> up, down;
            const auto upward = [&] {
                up = store::readGeoPackageRowsMeeting(*query, first, last, "plain", 0, meeting,
                                                      store::RangeEnd::Lowest);
            };
            const auto downward = [&] {
                down = store::readGeoPackageRowsMeeting(*query, first, last, "plain", 0, meeting,
                                                        store::RangeEnd::Highest);
            };
            if (order == Order::AtOnce) {
                std::thread other(downward);
                upward();
                other.join();
            } else if (order == Order::UpwardFirst) {
                upward();
                downward();
            } else {
                downward();
                upward();
            }
            ASSERT_TRUE(up && down);
            if (order == Order::UpwardFirst) {
                EXPECT_EQ(down->count(), 0u);
            }
            if (order == Order::DownwardFirst) {
                EXPECT_EQ(up->count(), 0u);
            }
            // Put together as the two-halves read does: the gap, if any,
            // read after, the small pieces copied, one block taken.
            StoreRows got = std::move(*up);
            if (meeting.gapLast(last) >= meeting.gapFirst()) {
                std::optional<StoreRows> gap = store::readGeoPackageRows(
                    *query, meeting.gapFirst(), meeting.gapLast(last), "plain");
                ASSERT_TRUE(gap);
                got.append(std::move(*gap), false);
            }
            got.append(std::move(*down), order != Order::AtOnce);
            ASSERT_TRUE(std::is_sorted(got.ids.begin(), got.ids.end()));
            expectSameRows(got, *whole);
        }
    }
}

TEST(RangeMeeting, EachIdGoesToOneReaderOrTheGap) {
    // The claims alone, many times over, so that the two readers meet at
    // every point of the range and sometimes stop at once.
    constexpr qint64 kIds = 2000;
    for (int round = 0; round < 300; ++round) {
        store::RangeMeeting meeting;
        std::vector<qint64> up, down;
        std::thread other([&] {
            for (qint64 id = kIds - 1; id >= 0 && meeting.downwardTakes(id); --id) {
                down.push_back(id);
            }
        });
        for (qint64 id = 0; id < kIds && meeting.upwardTakes(id); ++id) {
            up.push_back(id);
        }
        other.join();
        std::vector<qint64> all = up;
        ASSERT_LE(meeting.gapLast(kIds - 1) - meeting.gapFirst(), kIds) << "round " << round;
        for (qint64 id = meeting.gapFirst(); id <= meeting.gapLast(kIds - 1); ++id) {
            all.push_back(id);
        }
        all.insert(all.end(), down.rbegin(), down.rend());
        ASSERT_EQ(all.size(), static_cast<size_t>(kIds)) << "round " << round;
        for (qint64 id = 0; id < kIds; ++id) {
            ASSERT_EQ(all[static_cast<size_t>(id)], id) << "round " << round;
        }
    }
}

namespace {

// Every feature `it` gives: id, values, and the shape as WKB.
std::vector<std::tuple<QgsFeatureId, QgsAttributes, QByteArray>> featuresOf(QgsFeatureIterator it) {
    std::vector<std::tuple<QgsFeatureId, QgsAttributes, QByteArray>> all;
    QgsFeature f;
    while (it.nextFeature(f)) {
        all.emplace_back(f.id(), f.attributes(),
                         f.hasGeometry() ? f.geometry().asWkb() : QByteArray("none"));
    }
    return all;
}

// Polygons of a page layer, single and multipart, with a hole, an empty one
// and none, in a table of `type`; every field type as writeTable.
void writePolygons(const QString& path, const char* table, OGRwkbGeometryType type) {
    writeTable(path, table, type, 0);
    const QuietGdal quiet;
    GDALDatasetH ds = GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    OGRLayerH layer = GDALDatasetGetLayerByName(ds, table);
    const char* const shapes[] = {
        "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))",
        "POLYGON ((0 0, 10 0, 5 8, 0 0))",
        "POLYGON ((0 0, 9 0, 9 9, 0 9, 0 0), (2 2, 3 2, 3 3, 2 3, 2 2))",
        "MULTIPOLYGON (((20 20, 30 20, 30 30, 20 20)), ((40 40, 41 40, 41 41, 40 40)))",
        "POLYGON EMPTY",
        nullptr,
    };
    ASSERT_EQ(OGR_L_StartTransaction(layer), OGRERR_NONE);
    for (int i = 0; i < 600; ++i) {
        OGRFeatureH f = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        OGR_F_SetFieldInteger(f, 0, i);
        OGR_F_SetFieldString(f, 3, QStringLiteral("Seite %1").arg(i).toUtf8().constData());
        const char* wkt = shapes[i % 6];
        // The multipart shapes only where the table takes them, and the
        // empty one from the middle on.
        if (wkt && (type == wkbPolygon ? i % 6 != 3 : true) && (i % 6 != 4 || i > 300)) {
            setShape(f, wkt);
        }
        ASSERT_EQ(OGR_L_CreateFeature(layer, f), OGRERR_NONE);
        OGR_F_Destroy(f);
    }
    ASSERT_EQ(OGR_L_CommitTransaction(layer), OGRERR_NONE);
    GDALClose(ds);
}

}  // namespace

// A walk's features read straight from the file are QGIS's own: the same
// ids, values and shapes in the same order, also past the first feature the
// direct reader leaves to QGIS (an empty shape here); layers it cannot read
// so give no iterator.
TEST_F(DirectRead, AWalksFeaturesAreQgisOwnFromTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("pages.gpkg");
    writePolygons(path, "pages", wkbPolygon);
    writePolygons(path, "parts", wkbMultiPolygon);
    // Polygons, then lines of every dimension in a table of any shape and in
    // a multipart one (their first line with Z is left to QGIS).
    const std::pair<QString, const char*> tables[] = {
        {path, "pages"}, {path, "parts"}, {path_, "plain"}, {path_, "multi"}};
    for (const auto& [file, table] : tables) {
        auto layer = testmaps::openLayer(file, table);
        ASSERT_TRUE(layer->isValid());
        QgsFeatureIterator direct = qgishost::directFeatures(*layer);
        ASSERT_TRUE(direct.isValid()) << table;
        const auto got = featuresOf(direct);
        const auto want = featuresOf(layer->getFeatures());
        ASSERT_EQ(got.size(), want.size()) << table;
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_TRUE(got[i] == want[i]) << table << ", feature " << std::get<0>(want[i]);
        }
    }
    // A filter of the layer's: QGIS's own path.
    auto pages = testmaps::openLayer(path, "pages");
    ASSERT_TRUE(pages->setSubsetString("i32 > 5"));
    EXPECT_FALSE(qgishost::directFeatures(*pages).isValid());
}

TEST_F(DirectRead, AWalkOverADamagedPageFails) {
    QTemporaryDir dir;
    const QString path = dir.filePath("damaged.gpkg");
    writePolygons(path, "pages", wkbMultiPolygon);
    zeroPageOf(path, "pages");
    auto layer = testmaps::openLayer(path, "pages");
    ASSERT_TRUE(qgishost::directFeatures(*layer).isValid());
    // As a build walks it: read ahead on a thread of its own.
    qgishost::LayerCursor walk(*layer);
    try {
        while (walk.nextFeature()) {
        }
        ADD_FAILURE() << "a damaged page was walked without a failure";
    } catch (const support::Failure& e) {
        EXPECT_EQ(e.number(), support::error::kReadFailed);
        EXPECT_TRUE(e.description().contains("could not be read completely") &&
                    e.description().contains("malformed"))
            << e.description().toStdString();
    }
}
