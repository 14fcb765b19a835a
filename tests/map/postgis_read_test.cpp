// A PostGIS layer read over libpq gives exactly what QGIS's feature
// iterator gives: the same ids, values of every type converted, shapes and
// boxes, whole or in two halves. Layers QGIS numbers or converts its own way
// take QGIS's path, and an error once the rows have begun fails the read.
// Against a private PostgreSQL server on loopback.
#include "map/qgis/reading/postgis_read.h"
#include "map/qgis/desktop/chosen_features.h"
#include "map/qgis/features/layer_cursor.h"
#include "map/qgis/features/qgis_feature_class.h"
#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/program/qgis_session.h"
#include "map/qgis/reading/feature_store.h"
#include "map/qgis/reading/layer_reading.h"
#include "map/qgis/reading/wkb_writer.h"
#include "map/store/postgis_rows.h"
#include "support/base/failure.h"
#include "tests/testing/postgres_server.h"
#include "tests/testing/same_rows.h"

#include <qgsfeatureiterator.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>

#include <QElapsedTimer>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include <limits>
#include <memory>

using namespace bramlotte;
using qgishost::postGisQueryOf;
using qgishost::readPostGis;
using qgishost::readRows;
using qgishost::readThroughIterator;
using qgishost::StoreRows;
using testmaps::expectSameRows;

namespace {

constexpr size_t kNeverSplit = std::numeric_limits<size_t>::max();

// Every type the reader converts, NULLs in each column, keys below zero and
// with gaps, shapes null and empty, and the values whose text QGIS reads
// its own way (infinities, the widest numbers, char's padding).
const char* const kTables = R"sql(
CREATE TABLE kinds (id int4 PRIMARY KEY, i2 int2, i4 int4, i8 int8, f8 float8, num numeric,
                    t text, v varchar(20), c char(6), b bool, d date,
                    geom geometry(LineString, 32632));
INSERT INTO kinds
SELECT CASE WHEN g % 50 = 0 THEN -g ELSE g * 3 END,
       CASE WHEN g % 7 <> 1 THEN (g * 37 % 65536 - 32768) END,
       CASE WHEN g % 7 <> 2 THEN g * 1000003 * (1 - 2 * (g % 2)) END,
       CASE WHEN g % 7 <> 3 THEN (g::int8 << 40) - g END,
       CASE WHEN g % 7 <> 4 THEN g / 7.0::float8 - 20 END,
       CASE WHEN g % 7 <> 5 THEN g / 8.0 + 0.125 END,
       CASE WHEN g % 9 <> 2 THEN (CASE WHEN g % 4 = 0 THEN 'Öja väg' ELSE 'Straße ' || g % 13 END) END,
       CASE WHEN g % 9 <> 3 THEN ' v ' || g % 5 || '  ' END,
       CASE WHEN g % 9 <> 4 THEN 'c' || g % 3 END,
       CASE WHEN g % 6 <> 1 THEN g % 2 = 0 END,
       CASE WHEN g % 8 <> 6 THEN date '1990-01-01' + g * 37 END,
       CASE g % 10 WHEN 3 THEN NULL WHEN 4 THEN 'SRID=32632;LINESTRING EMPTY'::geometry
            ELSE ST_SetSRID(ST_MakeLine(ST_MakePoint(g, g % 17), ST_MakePoint(g + 1.5, g % 5)), 32632) END
FROM generate_series(1, 400) g;
INSERT INTO kinds (id, f8, num, t, c, d) VALUES
  (2000000, '-0', '0.30000000000000004', '', 'ab', '0001-01-01'),
  (2000001, '5e-324', '12345678901234567890.123', 'tab	and
line', '', '1582-10-10'),
  (2000002, 'Infinity', 'NaN', ' ', 'abcdef', '9999-12-31'),
  (2000003, '-Infinity', '-1e-30', 'x', NULL, 'infinity'),
  (2000004, 'NaN', '1e300', 'y', NULL, '-infinity'),
  (2000005, 1.7976931348623157e308, '-0.000', 'z', NULL, '2000-02-29');
ANALYZE kinds;

-- Rows in key order but for those updated since (moved to the table's end).
CREATE TABLE ordered (id int4 PRIMARY KEY, t text, geom geometry(Point, 32632));
INSERT INTO ordered SELECT g, 'row ' || g, ST_SetSRID(ST_MakePoint(g, g % 7), 32632)
FROM generate_series(1, 600) g;
UPDATE ordered SET t = t || ' moved' WHERE id % 40 = 0;
ANALYZE ordered;

-- Pages for a walk: keys out of order in the table, some rows moved by an
-- update; shapes null, empty, with Z, a coordinate that is no number, a
-- ring without area.
CREATE TABLE walk (id int4 PRIMARY KEY, page varchar(8), n int4, x float8, v numeric, ok bool,
                   geom geometry(MultiPolygonZ, 32632));
INSERT INTO walk SELECT (g * 7919) % 1000 - 100, 'P' || g, CASE WHEN g % 5 <> 0 THEN g END,
       CASE WHEN g % 6 <> 0 THEN g / 3.0 END, CASE WHEN g % 7 <> 0 THEN g * 1.5 END,
       CASE WHEN g % 4 <> 0 THEN g % 2 = 0 END,
       CASE g % 25 WHEN 3 THEN NULL WHEN 4 THEN 'SRID=32632;MULTIPOLYGON Z EMPTY'::geometry
            WHEN 5 THEN ST_SetSRID(ST_Multi(ST_MakePolygon(ST_MakeLine(ARRAY[ST_MakePoint(0, 0, 1),
                 ST_MakePoint('NaN'::float8, 1, 1), ST_MakePoint(1, 1, 1), ST_MakePoint(0, 0, 1)]))), 32632)
            WHEN 6 THEN 'SRID=32632;MULTIPOLYGON Z (((0 0 0, 1 1 0, 1 1 0, 0 0 0)))'::geometry
            ELSE ST_SetSRID(ST_Multi(ST_Translate(ST_Force3D(ST_MakeEnvelope(0, 0, 10, 10)), g * 10, 0, g)),
                            32632) END
FROM generate_series(1, 300) g;
UPDATE walk SET page = page || '*' WHERE id % 9 = 0;

CREATE TABLE linez (id serial PRIMARY KEY, geom geometry(LineStringZ, 32632));
INSERT INTO linez (geom) VALUES ('SRID=32632;LINESTRING Z (0 0 1, 1 1 2, 3 1 5)'), (NULL),
  ('SRID=32632;LINESTRING Z EMPTY');
CREATE TABLE linem (id serial PRIMARY KEY, geom geometry(MultiLineStringM, 32632));
INSERT INTO linem (geom) VALUES ('SRID=32632;MULTILINESTRING M ((0 0 1, 1 1 2), (5 5 0, 6 7 1))'),
  ('SRID=32632;MULTILINESTRING M EMPTY'), (NULL);
CREATE TABLE areazm (id serial PRIMARY KEY, geom geometry(PolygonZM, 32632));
INSERT INTO areazm (geom) VALUES
  ('SRID=32632;POLYGON ZM ((0 0 1 2, 4 0 1 2, 4 4 1 2, 0 0 1 2), (1 0.5 0 0, 3 0.5 0 0, 3 2 0 0, 1 0.5 0 0))'),
  ('SRID=32632;POLYGON ZM ((0 0 0 0, 1 1 0 0, 1 1 5 5, 0 0 0 0))'),
  ('SRID=32632;POLYGON ZM EMPTY');
CREATE TABLE mixed (id serial PRIMARY KEY, geom geometry);
INSERT INTO mixed (geom) VALUES ('LINESTRING (0 0, 1 1)'), ('MULTILINESTRING ((0 0, 1 1), (2 2, 3 3))'),
  ('LINESTRING EMPTY'), (NULL), ('MULTILINESTRING EMPTY'), ('LINESTRING Z (4 4 4, 5 5 5)'),
  (ST_MakeLine(ST_MakePoint(0, 0), ST_MakePoint('Infinity'::float8, 1))),
  ('MULTILINESTRING ((7 7, 8 8), EMPTY)');

CREATE TABLE osm4 (id int4 PRIMARY KEY, name text, geom geometry(LineString, 32632));
INSERT INTO osm4 SELECT k, 'way ' || k, ST_SetSRID(ST_MakeLine(ST_MakePoint(k / 1e6, 0),
                 ST_MakePoint(k / 1e6 + 1, 1)), 32632)
FROM unnest(ARRAY[-2147483648, -2000000000, -1000000000, -5, 0, 7, 1000000000, 2000000000,
                  2147483647]) k;
CREATE TABLE osm8 (id int8 PRIMARY KEY, name text, geom geometry(LineString, 32632));
INSERT INTO osm8 SELECT (g - 500) * 1000000007::int8 + 13, 'way ' || g,
                 ST_SetSRID(ST_MakeLine(ST_MakePoint(g, 0), ST_MakePoint(g + 1, 1)), 32632)
FROM generate_series(1, 999) g;
UPDATE osm8 SET id = 4611686018427387000 WHERE id = (SELECT max(id) FROM osm8);
ANALYZE osm8;
-- The same ways with a field to write, lying out of key order.
CREATE TABLE osm8w (id int8 PRIMARY KEY, name text, pages text, len float8,
                    geom geometry(LineString, 32632));
INSERT INTO osm8w SELECT id, name, 'old', 0, geom FROM osm8 ORDER BY (id % 1009) * 7919 % 1013;

-- Field values to write, keys below zero among them.
CREATE TABLE writes (id int4 PRIMARY KEY, name text, t text, n int4, geom geometry(Point, 32632));
INSERT INTO writes SELECT g * 7 - 20, 'w' || g, 'old', 0, ST_SetSRID(ST_MakePoint(g, g % 9), 32632)
FROM generate_series(1, 300) g;

CREATE TABLE named (id text PRIMARY KEY, geom geometry(Point, 32632));
INSERT INTO named VALUES ('k', 'SRID=32632;POINT (1 1)'), ('a', 'SRID=32632;POINT (2 2)');
CREATE TABLE keyless (n int4, geom geometry(Point, 32632));
INSERT INTO keyless VALUES (5, 'SRID=32632;POINT (1 1)'), (6, NULL);
CREATE VIEW positive AS SELECT id, t, num, geom FROM kinds WHERE id > 0;
CREATE VIEW textkey AS SELECT id::text AS tk, geom FROM kinds;
CREATE TABLE curves (id serial PRIMARY KEY, geom geometry(CompoundCurve, 32632));
INSERT INTO curves (geom) VALUES ('SRID=32632;COMPOUNDCURVE (CIRCULARSTRING (0 0, 1 1, 2 0), (2 0, 3 0))');
CREATE TABLE somecurves (id serial PRIMARY KEY, geom geometry);
INSERT INTO somecurves (geom) VALUES ('LINESTRING (0 0, 1 1)'), ('CIRCULARSTRING (0 0, 1 1, 2 0)');
CREATE TABLE odd (id serial PRIMARY KEY, f4 float4, bc date, t text, geom geometry(Point, 32632));
INSERT INTO odd (f4, bc, t, geom) VALUES (0.1, '2020-01-01', 'a', 'SRID=32632;POINT (1 1)'),
  (1.5, '0044-03-15 BC', 'b', 'SRID=32632;POINT (2 2)');
)sql";

class PostGisRead : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = testdb::PostgresServer::start(why_);
        if (server_ && !server_->createDatabase(QStringLiteral("atlas"), setupError_)) {
            return;
        }
        if (server_) {
            setupError_ = server_->run(QStringLiteral("atlas"), kTables);
        }
        qgishost::loadProviderPlugins();
    }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        if (!server_) {
            GTEST_SKIP() << "no PostgreSQL server with PostGIS: " << why_.toStdString();
        }
        ASSERT_TRUE(setupError_.isEmpty()) << setupError_.toStdString();
    }

    // The table or view `table` as QGIS opens it; `extra` adds to the URI.
    static std::unique_ptr<QgsVectorLayer> open(const QString& table, const QString& extra = {}) {
        const QString uri = server_->connectionInfo(QStringLiteral("atlas")) +
                            QStringLiteral(" %1 table=\"public\".\"%2\" (geom)").arg(extra, table);
        auto layer = std::make_unique<QgsVectorLayer>(uri, table, QStringLiteral("postgres"));
        EXPECT_TRUE(layer->isValid()) << table.toStdString();
        return layer;
    }
    // A query of the store's own reader on `table`: its key and shape, and
    // the text column `t`.
    static store::PostGisQuery queryOf(const QString& table, const QString& filter) {
        store::PostGisQuery query;
        query.connectionInfo = server_->connectionInfo(QStringLiteral("atlas"));
        query.schema = QStringLiteral("public");
        query.table = table;
        query.keyColumn = QStringLiteral("id");
        query.geometryColumn = QStringLiteral("geom");
        query.filter = filter;
        query.columns = {{QStringLiteral("id"), store::PgValue::Key},
                         {QStringLiteral("t"), store::PgValue::Text}};
        return query;
    }

    static std::unique_ptr<testdb::PostgresServer> server_;
    static QString why_, setupError_;
};

std::unique_ptr<testdb::PostgresServer> PostGisRead::server_;
QString PostGisRead::why_, PostGisRead::setupError_;

// Whether the layer went to the binary reader or QGIS's path, and in either
// case gives what QGIS's iterator gives.
void expectReadAsQgis(QgsVectorLayer& layer, bool direct, size_t splitFrom = kNeverSplit) {
    const StoreRows iterated = readThroughIterator(layer);
    std::optional<StoreRows> read = readPostGis(layer, splitFrom);
    ASSERT_EQ(read.has_value(), direct) << layer.name().toStdString();
    if (read) {
        read->sortById();
        expectSameRows(*read, iterated);
    }
    expectSameRows(readRows(layer, splitFrom), iterated);
}

}  // namespace

TEST_F(PostGisRead, EveryValueTypeWithNullsKeysBelowZeroAndEmptyShapes) {
    auto layer = open(QStringLiteral("kinds"));
    const StoreRows iterated = readThroughIterator(*layer);
    ASSERT_EQ(iterated.count(), 406u);
    EXPECT_EQ(iterated.ids.back(), 4294967296LL - 50);  // key -50, numbered as QGIS does
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*layer, true));
}

// The last two COPY statements the server was sent for `table`: a read's
// halves, when it was split.
QStringList lastCopiesOf(const QString& log, const QString& table) {
    QStringList copies;
    for (const QString& line : log.split('\n')) {
        if (line.contains("COPY (SELECT") && line.contains("FROM \"public\".\"" + table + "\"")) {
            copies << line;
        }
    }
    return copies.mid(std::max(0, copies.size() - 2));
}

TEST_F(PostGisRead, TwoHalvesOnTwoConnectionsInOneSnapshot) {
    // Keys below zero: halves of the table's pages, the rows sorted here.
    auto kinds = open(QStringLiteral("kinds"));
    std::optional<StoreRows> halves = readPostGis(*kinds, 10);
    ASSERT_TRUE(halves);
    halves->sortById();
    expectSameRows(*halves, readThroughIterator(*kinds));
    const QStringList byPages = lastCopiesOf(server_->log(), "kinds");
    ASSERT_EQ(byPages.size(), 2) << byPages.join('\n').toStdString();
    EXPECT_TRUE(byPages[0].contains("ctid < '(") && byPages[1].contains("ctid >= '("));
    // Rows about in key order: halves by the median key, each read in key
    // order by the key's index, the rows moved by updates too.
    auto ordered = open(QStringLiteral("ordered"));
    halves = readPostGis(*ordered, 10);
    ASSERT_TRUE(halves);
    EXPECT_TRUE(std::is_sorted(halves->ids.begin(), halves->ids.end()));
    expectSameRows(*halves, readThroughIterator(*ordered));
    const QStringList byKey = lastCopiesOf(server_->log(), "ordered");
    ASSERT_EQ(byKey.size(), 2) << byKey.join('\n').toStdString();
    for (const QString& copy : byKey) {
        EXPECT_TRUE(copy.contains("ORDER BY \"id\"") &&
                    copy.contains(QRegularExpression("\"id\" (<|>=) 3\\d\\d ")))
            << copy.toStdString();
    }
    EXPECT_TRUE(server_->log().contains("SET TRANSACTION SNAPSHOT"));
}

TEST_F(PostGisRead, ASubsetFilterIsTheServersOwnCondition) {
    auto layer = open(QStringLiteral("kinds"));
    ASSERT_TRUE(layer->setSubsetString("i4 % 3 <> 0 AND (t LIKE 'Stra%' OR d > '2005-01-01')"));
    const StoreRows iterated = readThroughIterator(*layer);
    ASSERT_GT(iterated.count(), 50u);
    ASSERT_LT(iterated.count(), 350u);
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*layer, true));
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*layer, true, 10));
}

TEST_F(PostGisRead, ShapesWithZAndMOfEveryKindAsQgisFlattensThem) {
    for (const char* table : {"linez", "linem", "areazm", "mixed"}) {
        auto layer = open(QString::fromLatin1(table));
        ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*layer, true)) << table;
    }
    // The collapsed ring and the infinite point are held without shapes.
    EXPECT_EQ(readThroughIterator(*open(QStringLiteral("areazm"))).skipped.degenerate.lowestIds,
              (std::vector<long long>{2}));
    EXPECT_EQ(readThroughIterator(*open(QStringLiteral("mixed"))).skipped.nonFinite.lowestIds,
              (std::vector<long long>{7}));
}

TEST_F(PostGisRead, Int4KeysNumberRowsBySignedValuesReadUnsigned) {
    auto layer = open(QStringLiteral("osm4"));
    const StoreRows iterated = readThroughIterator(*layer);
    EXPECT_EQ(iterated.ids,
              (std::vector<long long>{0, 7, 1000000000, 2000000000, 2147483647, 2147483648LL,
                                      2294967296LL, 3294967296LL, 4294967291LL}));
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*layer, true));
    // The view of a table, keyed by its int4 column, numbers its rows alike.
    auto view = open(QStringLiteral("positive"), QStringLiteral("key='id'"));
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*view, true));
}

TEST_F(PostGisRead, KeysQgisNumbersByAMapOfItsOwnTakeItsPath) {
    // An int8 key (OpenStreetMap's ids) is numbered 1, 2, 3 … in the order
    // the provider first meets the rows, as are text keys and a table
    // without a key (by its rows' places): only QGIS knows those numbers.
    auto osm = open(QStringLiteral("osm8"));
    EXPECT_FALSE(postGisQueryOf(*osm));
    const StoreRows read = readRows(*osm);
    ASSERT_EQ(read.count(), 999u);
    EXPECT_EQ(read.ids.front(), 1);
    EXPECT_EQ(read.ids.back(), 999);
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*osm, false));
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*open(QStringLiteral("named")), false));
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*open(QStringLiteral("keyless")), false));
    auto view = open(QStringLiteral("textkey"), QStringLiteral("key='tk'"));
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*view, false));
}

// QGIS's rows of an int8-keyed layer named by their keys' values instead.
StoreRows namedByKey(StoreRows rows) {
    for (size_t row = 0; row < rows.count(); ++row) {
        rows.ids[row] = rows.columns[0].at(row).toLongLong();
    }
    rows.sortById();
    return rows;
}

std::shared_ptr<const host::Shape> everywhere() {
    return std::make_shared<qgishost::QgisShape>(
        QgsGeometry::fromWkt(QStringLiteral("POLYGON((-10 -10,2000 -10,2000 10,-10 10,-10 -10))")),
        QgsCoordinateReferenceSystem(QStringLiteral("EPSG:32632")));
}

// The value given to the feature named `name`.
using ValueOfName = std::function<QVariant(const QString& name)>;

// Writes each feature's value into its field `field` through the store's
// edit, `beforeCommit` run just before the commit.
void writeValues(
    qgishost::QgisFeatureClass& fc, const QString& field, const ValueOfName& valueOf,
    const std::function<void()>& beforeCommit = [] {}) {
    const int name = fc.findField(QStringLiteral("name"));
    const int into = fc.findField(field);
    ASSERT_GE(into, 0);
    auto edit = fc.beginTransaction();
    auto cursor = fc.update({everywhere()});
    while (auto f = cursor->nextFeature()) {
        f->putValue(into, valueOf(f->value(name).toString()).toString());
        cursor->updateFeature(*f);
    }
    beforeCommit();
    edit->commit();
}

// Whether `saved` holds `features` rows, each with its value in `field`.
void expectWritten(std::unique_ptr<QgsVectorLayer> saved, const QString& field,
                   const ValueOfName& valueOf, int features) {
    QgsFeature f;
    int read = 0;
    for (QgsFeatureIterator it = saved->getFeatures(); it.nextFeature(f); ++read) {
        const QString name = f.attribute(QStringLiteral("name")).toString();
        ASSERT_EQ(f.attribute(field), valueOf(name)) << name.toStdString();
    }
    EXPECT_EQ(read, features);
}

TEST_F(PostGisRead, AnInt8KeysValuesNameTheRowsWhereNoWriteOrChoiceGoesByQgisIds) {
    // Whole, in two halves by its median key (beyond int4's range), and out
    // of key order: QGIS's rows, named by their keys.
    for (const char* table : {"osm8", "osm8w"}) {
        for (const size_t splitFrom : {kNeverSplit, size_t{100}}) {
            auto layer = open(QString::fromLatin1(table));
            const StoreRows want = namedByKey(readThroughIterator(*layer));
            std::optional<StoreRows> read =
                readPostGis(*layer, splitFrom, {}, qgishost::RowIds::KeyValues);
            ASSERT_TRUE(read) << table;
            EXPECT_TRUE(read->keyValueIds);
            read->sortById();
            ASSERT_NO_FATAL_FAILURE(expectSameRows(*read, want)) << table << " " << splitFrom;
            EXPECT_FALSE(readPostGis(*layer, splitFrom));  // QGIS's own ids: its path
        }
    }

    // A search names the features by their keys, and so does an edit saved
    // over libpq: every value to its own row, the store still held by key.
    auto layer = open(QStringLiteral("osm8w"));
    qgishost::QgisFeatureClass fc(*layer);
    {
        auto cursor = fc.search({everywhere()});
        auto f = cursor->nextFeature();
        ASSERT_TRUE(f);
        EXPECT_EQ(f->id(), f->value(0).toLongLong());
        EXPECT_TRUE(qgishost::FeatureStore::of(*layer).table().keyValueIds());
    }
    auto text = [](const QString& prefix) {
        return [prefix](const QString& name) { return QVariant(prefix + name); };
    };
    ASSERT_NO_FATAL_FAILURE(writeValues(fc, QStringLiteral("pages"), text(QStringLiteral("P "))));
    EXPECT_TRUE(qgishost::FeatureStore::of(*layer).table().keyValueIds());
    EXPECT_EQ(qgishost::FeatureStore::of(*layer).loadCount(), 1);
    EXPECT_TRUE(server_->log().contains(
        QStringLiteral("CREATE TEMPORARY TABLE bramlotte_values_0 (k int8, v text)")));
    expectWritten(open(QStringLiteral("osm8w")), QStringLiteral("pages"),
                  text(QStringLiteral("P ")), 999);

    // A field of a type only QGIS's provider writes: the rows found by its
    // own ids, all or none of them.
    auto length = [](double deleted) {
        return [deleted](const QString& name) {
            return name == QLatin1String("way 7") ? QVariant(deleted)
                                                  : QVariant(name.mid(4).toDouble() / 4);
        };
    };
    auto measured = open(QStringLiteral("osm8w"));
    qgishost::QgisFeatureClass measuredFc(*measured);
    const QString deleteOne = QStringLiteral("DELETE FROM osm8w WHERE name = 'way 7'");
    EXPECT_THROW(
        writeValues(
            measuredFc, QStringLiteral("len"), length(7 / 4.0),
            [&] { EXPECT_EQ(server_->run(QStringLiteral("atlas"), deleteOne), QString()); }),
        support::Failure);
    expectWritten(
        open(QStringLiteral("osm8w")), QStringLiteral("len"),
        [](const QString&) { return QVariant(0.0); }, 998);
    measured = open(QStringLiteral("osm8w"));
    qgishost::QgisFeatureClass remeasured(*measured);
    ASSERT_NO_FATAL_FAILURE(writeValues(remeasured, QStringLiteral("len"), length(7 / 4.0)));
    EXPECT_TRUE(qgishost::FeatureStore::of(*measured).table().keyValueIds());
    expectWritten(open(QStringLiteral("osm8w")), QStringLiteral("len"), length(0), 998);

    // The user's edit buffer takes values by QGIS's ids: the rows are read
    // anew with them, and the values wait there for the user's save.
    auto edited = open(QStringLiteral("osm8w"));
    qgishost::QgisFeatureClass editedFc(*edited);
    editedFc.search({everywhere()});  // held by keys first
    ASSERT_TRUE(edited->startEditing());
    ASSERT_NO_FATAL_FAILURE(
        writeValues(editedFc, QStringLiteral("pages"), text(QStringLiteral("E "))));
    EXPECT_FALSE(qgishost::FeatureStore::of(*edited).table().keyValueIds());
    ASSERT_TRUE(edited->commitChanges()) << edited->commitErrors().join(' ').toStdString();
    expectWritten(open(QStringLiteral("osm8w")), QStringLiteral("pages"),
                  text(QStringLiteral("E ")), 998);

    // Features chosen by QGIS's ids: the walk and the searches give them,
    // and only them, by those ids.
    QgsFeature f;
    auto chosenLayer = open(QStringLiteral("osm8"));
    auto only = std::make_shared<QgsFeatureIds>();
    QgsFeatureRequest two;
    two.setFilterExpression(QStringLiteral("\"name\" IN ('way 5', 'way 999')"));
    for (QgsFeatureIterator it = chosenLayer->getFeatures(two); it.nextFeature(f);) {
        only->insert(f.id());
    }
    ASSERT_EQ(only->size(), 2);
    qgishost::QgisFeatureClass(*chosenLayer).search({everywhere()});  // held by keys first
    const std::unique_ptr<host::Layer> chosen = qgishost::chosenFeatures(*chosenLayer, only);
    host::FeatureLayer* chosenFeatures = chosen->asFeatureLayer();
    std::vector<std::unique_ptr<host::FeatureCursor>> cursors;
    cursors.push_back(chosenFeatures->search());
    cursors.push_back(chosenFeatures->featureClass()->search({everywhere()}));
    for (const auto& cursor : cursors) {
        QgsFeatureIds met;
        while (auto feature = cursor->nextFeature()) {
            met.insert(feature->id());
        }
        EXPECT_EQ(met, *only);
    }
}

// Every `t` and `n` of table `writes` as a fresh layer reads them, by name.
std::map<QString, QPair<QVariant, QVariant>> savedWrites(std::unique_ptr<QgsVectorLayer> layer) {
    std::map<QString, QPair<QVariant, QVariant>> saved;
    QgsFeature f;
    for (QgsFeatureIterator it = layer->getFeatures(); it.nextFeature(f);) {
        saved[f.attribute(QStringLiteral("name")).toString()] = {f.attribute(QStringLiteral("t")),
                                                                 f.attribute(QStringLiteral("n"))};
    }
    return saved;
}

TEST_F(PostGisRead, FieldValuesAreSavedOverLibpqAllOrNothing) {
    // Texts COPY must escape, NULLs, numbers; every third feature left as it is.
    const QStringList texts = {QStringLiteral("A1, B2"), QStringLiteral("tab\there"),
                               QStringLiteral("line\nend\\N"), QStringLiteral("Öja \\ väg"),
                               QString()};
    std::map<QString, QPair<QString, int>> given;  // by name
    auto write = [&](qgishost::QgisFeatureClass& fc, const std::function<void()>& beforeCommit) {
        const int name = fc.findField(QStringLiteral("name"));
        const int t = fc.findField(QStringLiteral("t")), n = fc.findField(QStringLiteral("n"));
        auto edit = fc.beginTransaction();
        auto cursor = fc.update({everywhere()});
        int row = 0;
        while (auto f = cursor->nextFeature()) {
            if (++row % 3 != 0) {
                const QString text = texts[row % texts.size()];
                f->putValue(t, text);
                f->putValue(n, QString::number(row * 11 - 500));
                cursor->updateFeature(*f);
                given[f->value(name).toString()] = {text, row * 11 - 500};
            }
        }
        beforeCommit();
        edit->commit();
    };
    const auto before = savedWrites(open(QStringLiteral("writes")));
    {
        auto layer = open(QStringLiteral("writes"));
        qgishost::QgisFeatureClass fc(*layer);
        // A feature gone before the save: nothing is saved.
        EXPECT_THROW(write(fc,
                           [] {
                               EXPECT_EQ(server_->run(QStringLiteral("atlas"),
                                                      QStringLiteral("DELETE FROM writes "
                                                                     "WHERE id = 1")),
                                         QString());
                           }),
                     support::Failure);
    }
    const auto kept = savedWrites(open(QStringLiteral("writes")));
    EXPECT_EQ(kept.size(), before.size() - 1);
    for (const auto& [name, values] : kept) {
        ASSERT_EQ(values, before.at(name)) << name.toStdString();
    }

    // Whole: each value where it was written, read back as it was given.
    given.clear();
    auto layer = open(QStringLiteral("writes"));
    qgishost::QgisFeatureClass fc(*layer);
    write(fc, [] {});
    const auto saved = savedWrites(open(QStringLiteral("writes")));
    ASSERT_EQ(saved.size(), kept.size());
    EXPECT_EQ(given.size(), 200u);
    for (const auto& [name, values] : saved) {
        const auto it = given.find(name);
        if (it == given.end()) {
            EXPECT_EQ(values, kept.at(name)) << name.toStdString();
            continue;
        }
        EXPECT_EQ(values.first.isNull(), it->second.first.isNull()) << name.toStdString();
        EXPECT_EQ(values.first.toString(), it->second.first) << name.toStdString();
        EXPECT_EQ(values.second, QVariant(it->second.second)) << name.toStdString();
    }
    // Sent in one COPY a field, not an UPDATE a feature.
    EXPECT_TRUE(server_->log().contains(QStringLiteral("COPY bramlotte_values_0 (k, v) FROM")));
}

TEST_F(PostGisRead, CurvesAndValuesQgisReadsItsOwnWayTakeItsPath) {
    auto curves = open(QStringLiteral("curves"));
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*curves, false));
    EXPECT_TRUE(readRows(*curves).hasGeometry(0));  // the arc, as line segments
    // A curve in a column of any kind is met only in the read.
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*open(QStringLiteral("somecurves")), false));
    // float4 (read from its shorter text) and a date before Christ: only
    // when the build wants their values.
    auto odd = open(QStringLiteral("odd"));
    ASSERT_NO_FATAL_FAILURE(expectReadAsQgis(*odd, false));
    const int t = odd->dataProvider()->fields().indexFromName("t");
    const int bc = odd->dataProvider()->fields().indexFromName("bc");
    store::WantedFields onlyT(static_cast<size_t>(t) + 1), alsoBc = onlyT;
    onlyT[static_cast<size_t>(t)] = true;
    alsoBc[static_cast<size_t>(bc)] = alsoBc[static_cast<size_t>(t)] = true;
    const std::optional<StoreRows> read = readPostGis(*odd, kNeverSplit, onlyT);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->columns[static_cast<size_t>(t)].at(1), QVariant("b"));
    EXPECT_FALSE(read->columns[static_cast<size_t>(bc)].isRead());
    EXPECT_FALSE(readPostGis(*odd, kNeverSplit, alsoBc));
    // A layer asking for other shapes than its column declares.
    EXPECT_FALSE(readPostGis(*open(QStringLiteral("mixed"), QStringLiteral("type=LineString")),
                             kNeverSplit));
}

TEST_F(PostGisRead, AnErrorOnceRowsComeFailsTheReadNamingTheLayer) {
    // Division by zero at the 301st row, after rows have come.
    const store::PostGisQuery failing =
        queryOf(QStringLiteral("kinds"), QStringLiteral("1 / (id - 903) IS NOT NULL"));
    for (const size_t split : {kNeverSplit, size_t{10}}) {
        try {
            store::readPostGisRows(failing, QStringLiteral("streets"), split);
            ADD_FAILURE() << "the read ended without a failure";
        } catch (const support::Failure& e) {
            EXPECT_EQ(e.number(), support::error::kReadFailed);
            EXPECT_TRUE(e.description().contains("Layer streets could not be read completely") &&
                        e.description().contains("division by zero"))
                << e.description().toStdString();
        }
    }
    // A query the server refuses before any row is left to QGIS.
    EXPECT_FALSE(store::readPostGisRows(
        queryOf(QStringLiteral("kinds"), QStringLiteral("no_such_column > 0")),
        QStringLiteral("streets"), kNeverSplit));
    store::PostGisQuery unreachable = queryOf(QStringLiteral("kinds"), QString());
    unreachable.connectionInfo = QStringLiteral("host=127.0.0.1 port=1 connect_timeout=2");
    EXPECT_FALSE(store::readPostGisRows(unreachable, QStringLiteral("streets"), kNeverSplit));
}

TEST_F(PostGisRead, AWalkOverATableGivesQgisFeaturesInQgisOrder) {
    auto layer = open(QStringLiteral("walk"));
    const QgsFields fields = layer->dataProvider()->fields();
    qgishost::LayerCursor walk(*layer);
    const int copies = lastCopiesOf(server_->log(), "walk").size();
    ASSERT_EQ(copies, 1) << "the walk was not read over libpq";
    QgsFeatureIterator it = layer->getFeatures();
    QgsFeature f;
    size_t count = 0, unusable = 0;
    while (it.nextFeature(f)) {
        const std::unique_ptr<host::Feature> got = walk.nextFeature();
        ASSERT_TRUE(got) << "the walk ended after " << count << " features";
        ASSERT_EQ(got->id(), f.id()) << count;
        for (int i = 0; i < fields.count(); ++i) {
            const QVariant g = got->value(i), w = f.attribute(i);
            EXPECT_TRUE(g.type() == w.type() && g.isNull() == w.isNull() && g == w)
                << "feature " << f.id() << " field " << i << ": " << g.typeName() << " "
                << g.toString().toStdString() << " / " << w.typeName() << " "
                << w.toString().toStdString();
        }
        // The shape in two dimensions, and what keeps it out of searches.
        const std::shared_ptr<const host::Shape> held = got->shape();
        const auto* shape = dynamic_cast<const qgishost::QgisShape*>(held.get());
        ASSERT_TRUE(shape);
        const qgishost::QgisShape want(f.geometry(), layer->crs());
        EXPECT_EQ(shape->isEmpty(), want.isEmpty()) << f.id();
        EXPECT_EQ(shape->fault(), want.fault()) << f.id();
        unusable += want.fault() != host::ShapeFault::None;
        if (!want.isEmpty()) {
            std::vector<unsigned char> g, w;
            qgishost::appendWkb(*shape->geometry().constGet(), g);
            qgishost::appendWkb(*want.geometry().constGet(), w);
            EXPECT_EQ(g, w) << f.id();
        }
        ++count;
    }
    EXPECT_FALSE(walk.nextFeature());
    EXPECT_EQ(count, 300u);
    EXPECT_EQ(unusable, 24u);  // 12 with a coordinate that is no number, 12 without area
}

TEST_F(PostGisRead, AWalkLeftPartWayStopsTheServer) {
    // Every row waits 10 ms on the server: three seconds for the table.
    auto layer = open(QStringLiteral("walk"));
    ASSERT_TRUE(layer->setSubsetString("pg_sleep(0.01) IS NOT NULL"));
    QElapsedTimer timer;
    timer.start();
    { qgishost::LayerCursor walk(*layer); }
    EXPECT_LT(timer.elapsed(), 1000) << "the walk waited for rows nobody takes";
}
