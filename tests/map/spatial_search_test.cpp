// Spatial searches of a feature class: what each relationship code delivers
// on small exact shapes, refusals, CRS differences, null shapes, delivery
// order and the reuse of the one read of the layer.
#include "map/qgis/features/qgis_feature_class.h"
#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/reading/feature_store.h"
#include "tests/testing/test_maps.h"

#include <qgscoordinatetransform.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using namespace bramlotte;
using bramlotte::testmaps::memoryLayer;
namespace rel = bramlotte::host::relation;

namespace {

const QString kCrs = QStringLiteral("EPSG:32632");

std::shared_ptr<const host::Shape> shape(const QString& wkt, const QString& crs = kCrs) {
    return std::make_shared<qgishost::QgisShape>(
        wkt.isEmpty() ? QgsGeometry() : QgsGeometry::fromWkt(wkt),
        QgsCoordinateReferenceSystem(crs));
}

// Layer with one text field "id" per WKT.
std::unique_ptr<QgsVectorLayer> layerOf(const QString& type,
                                        const std::vector<std::pair<QString, QString>>& shapes) {
    std::vector<testmaps::Row> rows;
    for (const auto& [id, wkt] : shapes) {
        rows.push_back({wkt, {id}});
    }
    return memoryLayer("searched", type, {"id:string"}, rows);
}

// The ids a search delivers, in delivery order; "refused" when it fails.
QString searchIds(QgsVectorLayer& layer, const QString& queryWkt, int32_t code) {
    qgishost::QgisFeatureClass fc(layer);
    host::SpatialFilter filter{shape(queryWkt), code, fc.shapeFieldName()};
    std::unique_ptr<host::FeatureCursor> cursor;
    try {
        cursor = fc.search(filter);
    } catch (const support::Failure&) {
        return QStringLiteral("refused");
    }
    QStringList ids;
    while (auto f = cursor->nextFeature()) {
        ids << f->value(0).toString();
    }
    return ids.join(' ');
}

struct Case {
    int32_t code;
    const char* expected;
};

void expectCodes(QgsVectorLayer& layer, const QString& query, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(searchIds(layer, query, c.code), QString(c.expected))
            << "code " << c.code << " query " << query.toStdString();
    }
}

const QString kSquare = QStringLiteral("POLYGON((0 0,10 0,10 10,0 10,0 0))");
const QString kDiagonal = QStringLiteral("LINESTRING(0 0,10 10)");

}  // namespace

TEST(SpatialSearch, PolygonQueryAgainstPolygons) {
    auto polygons = layerOf("Polygon", {{"inside", "POLYGON((2 2,4 2,4 4,2 4,2 2))"},
                                        {"edge", "POLYGON((10 0,20 0,20 10,10 10,10 0))"},
                                        {"overlap", "POLYGON((5 5,15 5,15 15,5 15,5 5))"},
                                        {"around", "POLYGON((-5 -5,20 -5,20 20,-5 20,-5 -5))"},
                                        {"away", "POLYGON((30 30,40 30,40 40,30 40,30 30))"}});
    expectCodes(*polygons, kSquare,
                {{rel::kIntersects, "inside edge overlap around"},
                 {rel::kEnvelopeIntersects, "inside edge overlap around"},
                 {rel::kTouches, "edge"},
                 {rel::kOverlaps, "overlap"},
                 {rel::kCrosses, "refused"},
                 {rel::kContains, "inside"},
                 {rel::kIsWithin, "around"}});
}

// A page whose corners are those of its box decides shapes inside the box
// by the box alone: only a true rectangle may. A bow tie through the same
// four corners leaves parts of its box uncovered.
TEST(SpatialSearch, OnlyARectangleDecidesByItsBox) {
    auto points = layerOf("Point", {{"left", "POINT(1 5)"}, {"bottom", "POINT(5 1)"}});
    EXPECT_EQ(searchIds(*points, kSquare, rel::kIntersects), "left bottom");
    EXPECT_EQ(searchIds(*points, "POLYGON((0 0,10 10,10 0,0 10,0 0))", rel::kIntersects), "left");
    EXPECT_EQ(searchIds(*points, "POLYGON((0 0,0 10,10 10,10 0,0 0))", rel::kContains),
              "left bottom");
    // Pages loaded as multipolygons: the rectangle alone decides as itself;
    // two parts leave part of their box uncovered.
    auto more = layerOf("Point", {{"left", "POINT(1 5)"}, {"gap", "POINT(5.5 5)"}});
    EXPECT_EQ(searchIds(*more, "MULTIPOLYGON(((0 0,10 0,10 10,0 10,0 0)))", rel::kIntersects),
              "left gap");
    EXPECT_EQ(searchIds(*more, "MULTIPOLYGON(((0 0,10 0,10 10,0 10,0 0)))", rel::kContains),
              "left gap");
    EXPECT_EQ(
        searchIds(*more, "MULTIPOLYGON(((0 0,5 0,5 10,0 10,0 0)),((6 0,10 0,10 10,6 10,6 0)))",
                  rel::kIntersects),
        "left");
}

TEST(SpatialSearch, PolygonQueryAgainstLinesAndPoints) {
    auto lines = layerOf("LineString", {{"in", "LINESTRING(2 2,4 4)"},
                                        {"across", "LINESTRING(5 5,15 5)"},
                                        {"onedge", "LINESTRING(10 0,10 10)"},
                                        {"away", "LINESTRING(20 0,30 0)"}});
    expectCodes(*lines, kSquare,
                {{rel::kIntersects, "in across onedge"},
                 {rel::kEnvelopeIntersects, "in across onedge"},
                 {rel::kTouches, "onedge"},
                 {rel::kOverlaps, "refused"},
                 {rel::kCrosses, "across"},
                 {rel::kContains, "in"},
                 {rel::kIsWithin, ""}});
    auto points =
        layerOf("Point", {{"in", "POINT(5 5)"}, {"edge", "POINT(10 5)"}, {"out", "POINT(20 20)"}});
    expectCodes(*points, kSquare,
                {{rel::kIntersects, "in edge"},
                 {rel::kTouches, "edge"},
                 {rel::kOverlaps, "refused"},
                 {rel::kCrosses, ""},
                 {rel::kContains, "in"},
                 {rel::kIsWithin, ""}});
}

TEST(SpatialSearch, LineQueryAgainstLinesPolygonsAndPoints) {
    auto lines = layerOf("LineString", {{"x", "LINESTRING(0 10,10 0)"},
                                        {"end", "LINESTRING(10 10,20 10)"},
                                        {"along", "LINESTRING(5 5,15 15)"},
                                        {"part", "LINESTRING(2 2,4 4)"},
                                        {"whole", "LINESTRING(-5 -5,20 20)"}});
    expectCodes(*lines, kDiagonal,
                {{rel::kIntersects, "x end along part whole"},
                 {rel::kTouches, "end"},
                 {rel::kOverlaps, "along"},
                 {rel::kCrosses, "x"},
                 {rel::kContains, "part"},
                 {rel::kIsWithin, "whole"}});
    auto polygons = layerOf("Polygon", {{"band", "POLYGON((4 0,6 0,6 20,4 20,4 0))"},
                                        {"corner", "POLYGON((8 2,9 2,9 3,8 3,8 2))"}});
    // The corner square lies in the diagonal's box but off the line.
    expectCodes(*polygons, kDiagonal,
                {{rel::kIntersects, "band"},
                 {rel::kEnvelopeIntersects, "band corner"},
                 {rel::kCrosses, "band"},
                 {rel::kOverlaps, "refused"},
                 {rel::kIsWithin, ""}});
    auto points = layerOf("Point", {{"on", "POINT(5 5)"}, {"end", "POINT(10 10)"}});
    expectCodes(*points, kDiagonal,
                {{rel::kIntersects, "on end"},
                 {rel::kTouches, "end"},
                 {rel::kContains, "on"},
                 {rel::kOverlaps, "refused"}});
}

TEST(SpatialSearch, PointQueryAgainstPointsLinesAndPolygons) {
    auto points = layerOf("Point", {{"same", "POINT(1 1)"}, {"other", "POINT(2 2)"}});
    expectCodes(*points, "POINT(1 1)",
                {{rel::kIntersects, "same"},
                 {rel::kTouches, "refused"},
                 {rel::kCrosses, "refused"},
                 {rel::kOverlaps, ""},
                 {rel::kContains, "same"},
                 {rel::kIsWithin, "same"}});
    auto lines = layerOf("LineString",
                         {{"through", "LINESTRING(0 0,10 10)"}, {"starts", "LINESTRING(5 5,9 9)"}});
    expectCodes(*lines, "POINT(5 5)",
                {{rel::kIntersects, "through starts"},
                 {rel::kTouches, "starts"},
                 {rel::kIsWithin, "through"},
                 {rel::kCrosses, ""}});
    auto polygons = layerOf("Polygon", {{"sq", kSquare}});
    expectCodes(*polygons, "POINT(5 5)", {{rel::kIsWithin, "sq"}, {rel::kTouches, ""}});
    expectCodes(*polygons, "POINT(10 5)", {{rel::kTouches, "sq"}, {rel::kIsWithin, ""}});
}

TEST(SpatialSearch, NullShapesMatchNothingAndUnknownCodesAreRefused) {
    auto polygons = layerOf("Polygon", {{"sq", kSquare}, {"none", ""}});
    EXPECT_EQ(searchIds(*polygons, "", rel::kIntersects), "");
    EXPECT_EQ(searchIds(*polygons, "", rel::kCrosses), "");  // no shape, no refusal
    EXPECT_EQ(searchIds(*polygons, "POLYGON((-100 -100,100 -100,100 100,-100 100,-100 -100))",
                        rel::kEnvelopeIntersects),
              "sq");
    EXPECT_EQ(searchIds(*polygons, kSquare, 3), "refused");
    EXPECT_EQ(searchIds(*polygons, kSquare, 0), "refused");
}

TEST(SpatialSearch, QueryShapeInAnotherCrsIsTransformed) {
    auto points = layerOf("Point", {{"here", "POINT(500000 5000000)"}});
    // The same place in longitude and latitude.
    QgsCoordinateTransform toWgs(QgsCoordinateReferenceSystem(kCrs),
                                 QgsCoordinateReferenceSystem("EPSG:4326"),
                                 QgsCoordinateTransformContext());
    const QgsPointXY ll = toWgs.transform(QgsPointXY(500000, 5000000));
    const double d = 0.001;
    const QString box = QStringLiteral("POLYGON((%1 %2,%3 %2,%3 %4,%1 %4,%1 %2))")
                            .arg(ll.x() - d, 0, 'f', 6)
                            .arg(ll.y() - d, 0, 'f', 6)
                            .arg(ll.x() + d, 0, 'f', 6)
                            .arg(ll.y() + d, 0, 'f', 6);
    qgishost::QgisFeatureClass fc(*points);
    auto cursor = fc.search({shape(box, "EPSG:4326"), rel::kIntersects, QString()});
    auto f = cursor->nextFeature();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->value(0).toString(), "here");
    // Read as metres, the same numbers lie far from the point.
    auto none = fc.search({shape(box, kCrs), rel::kIntersects, QString()});
    EXPECT_EQ(none->nextFeature(), nullptr);
}

TEST(SpatialSearch, DeliversInFeatureIdOrderAndReadsTheLayerOnceUntilItChanges) {
    std::vector<std::pair<QString, QString>> shapes;
    // Scattered so the tree's order differs from the id order.
    for (int i = 0; i < 500; ++i) {
        const int x = (i * 7919) % 500, y = (i * 104729) % 500;
        shapes.push_back({QString::number(i), QStringLiteral("POINT(%1 %2)").arg(x).arg(y)});
    }
    auto points = layerOf("Point", shapes);
    const QString all = "POLYGON((-1 -1,501 -1,501 501,-1 501,-1 -1))";
    QStringList expected;
    for (int i = 0; i < 500; ++i) {
        expected << QString::number(i);
    }
    EXPECT_EQ(searchIds(*points, all, rel::kIntersects), expected.join(' '));
    auto& store = qgishost::FeatureStore::of(*points);
    EXPECT_EQ(store.loadCount(), 1);
    searchIds(*points, "POLYGON((0 0,50 0,50 50,0 50,0 0))", rel::kIntersects);
    EXPECT_EQ(store.loadCount(), 1);

    // A feature added by an edit of the layer: the next search reads it.
    QgsFeature f(points->fields());
    f.setAttributes(QgsAttributes() << QStringLiteral("new"));
    f.setGeometry(QgsGeometry::fromWkt("POINT(600 600)"));
    ASSERT_TRUE(points->startEditing());
    ASSERT_TRUE(points->addFeature(f));
    ASSERT_TRUE(points->commitChanges());
    EXPECT_EQ(
        searchIds(*points, "POLYGON((599 599,601 599,601 601,599 601,599 599))", rel::kIntersects),
        "new");
    EXPECT_EQ(store.loadCount(), 2);
    // So does a new filter.
    points->setSubsetString("\"id\" = 'new'");
    EXPECT_EQ(searchIds(*points, all, rel::kIntersects), "");
}

TEST(SpatialSearch, ReadsTheFieldsAskedForAndReadsAgainForAnother) {
    QTemporaryDir dir;
    auto memory = memoryLayer("streets", "LineString", {"name:string", "kind:string"},
                              {{"LINESTRING(0 0,1 1)", {QStringLiteral("Main St"), "primary"}},
                               {"LINESTRING(5 5,6 6)", {QStringLiteral("Side St"), "minor"}}});
    auto streets = testmaps::writeGeoPackage(*memory, dir.filePath("s.gpkg"), "streets");
    qgishost::QgisFeatureClass fc(*streets);
    auto& store = qgishost::FeatureStore::of(*streets);
    const int name = fc.findField("name"), kind = fc.findField("kind");
    host::SpatialFilter filter{
        shape("POLYGON((-1 -1,2 -1,2 2,-1 2,-1 -1))"), rel::kIntersects, QString(), {name}};
    {
        auto f = fc.search(filter)->nextFeature();
        ASSERT_TRUE(f);
        EXPECT_EQ(f->value(name).toString(), "Main St");
        EXPECT_THROW(f->value(kind), support::Failure);  // never read, never guessed
    }
    EXPECT_EQ(store.loadCount(), 1);
    // Another field: the layer is read again, and what was held stays held.
    filter.subFields = {kind};
    {
        auto f = fc.search(filter)->nextFeature();
        ASSERT_TRUE(f);
        EXPECT_EQ(f->value(kind).toString(), "primary");
        EXPECT_EQ(f->value(name).toString(), "Main St");
    }
    EXPECT_EQ(store.loadCount(), 2);
    filter.subFields = {name, kind};
    fc.search(filter);
    EXPECT_EQ(store.loadCount(), 2);
    // No fields named: every field.
    filter.subFields.clear();
    EXPECT_EQ(fc.search(filter)->nextFeature()->value(kind).toString(), "primary");
    EXPECT_EQ(store.loadCount(), 3);
}

// A value's code lets the index reuse what it made of a value met before:
// equal codes must mean equal values, across a write and a new read too.
TEST(SpatialSearch, ValueCodesAreSharedByEqualValuesOnly) {
    auto streets = memoryLayer("streets", "Point", {"name:string", "n:integer"},
                               {{"POINT(1 1)", {"Main St", 1}},
                                {"POINT(2 2)", {"Side St", 1}},
                                {"POINT(3 3)", {"Main St", 2}},
                                {"POINT(4 4)", {QVariant(), 3}}});
    qgishost::QgisFeatureClass fc(*streets);
    const host::SpatialFilter all{shape("POLYGON((0 0,5 0,5 5,0 5,0 0))"), rel::kIntersects};
    auto codesOf = [&](host::FeatureCursor& cursor, int field) {
        std::vector<long long> codes;
        while (auto f = cursor.nextFeature()) {
            codes.push_back(f->valueCode(field));
        }
        return codes;
    };
    const std::vector<long long> first = codesOf(*fc.search(all), 0);
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0], first[2]);
    EXPECT_NE(first[0], first[1]);
    EXPECT_NE(first[3], first[0]);
    EXPECT_NE(first[3], first[1]);
    EXPECT_GE(*std::min_element(first.begin(), first.end()), 0);
    EXPECT_EQ(codesOf(*fc.search(all), 1), std::vector<long long>(4, -1));  // numbers: none

    {
        // A value put or written in an edit: no code for that field.
        auto edit = fc.beginTransaction();
        auto cursor = fc.update(all);
        auto f = cursor->nextFeature();
        f->putValue(0, "Side St");
        EXPECT_EQ(f->valueCode(0), -1);
        cursor->updateFeature(*f);
        EXPECT_EQ(codesOf(*fc.search(all), 0), std::vector<long long>(4, -1));
    }
    // Read anew after the layer changed, "Main St" is gone: no code of the
    // first read may stand for another value now.
    ASSERT_TRUE(streets->startEditing());
    ASSERT_TRUE(streets->changeAttributeValue(1, 0, QStringLiteral("Elm St")));
    ASSERT_TRUE(streets->changeAttributeValue(3, 0, QStringLiteral("Elm St")));
    ASSERT_TRUE(streets->commitChanges());
    const std::vector<long long> second = codesOf(*fc.search(all), 0);
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(second[0], second[2]);
    for (const long long code : second) {
        EXPECT_EQ(std::count(first.begin(), first.end(), code), 0) << code;
    }
}

TEST(SpatialSearch, AShapeWithACoordinateThatIsNoFiniteNumberIsUnusable) {
    // Every kind of shape, finite, then with one vertex deep inside it (an
    // inner ring, a second part, an arc) made NaN or infinite.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, int> kinds[] = {
        {"POINT(1 2)", 0},
        {"LINESTRING(0 0,1 1,2 2)", 1},
        {"POLYGON((0 0,4 0,4 4,0 4,0 0),(1 1,2 1,2 2,1 1))", 6},
        {"MULTIPOLYGON(((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))", 6},
        {"GEOMETRYCOLLECTION(POINT(0 0),LINESTRING(1 1,2 2))", 2},
        {"CIRCULARSTRING(0 0,1 1,2 0)", 1},
        {"CURVEPOLYGON(COMPOUNDCURVE(CIRCULARSTRING(0 0,2 2,4 0),(4 0,0 0)))", 1},
    };
    for (const auto& [wkt, vertex] : kinds) {
        const QgsGeometry good = QgsGeometry::fromWkt(wkt);
        ASSERT_FALSE(good.isNull()) << wkt;
        EXPECT_TRUE(qgishost::QgisShape(good, QgsCoordinateReferenceSystem(kCrs)).isUsable())
            << wkt;
        for (const auto& [x, y] : {std::pair<double, double>{1, nan}, {inf, 1}, {-inf, nan}}) {
            QgsGeometry bad = good;
            ASSERT_TRUE(bad.moveVertex(x, y, vertex)) << wkt;
            EXPECT_FALSE(qgishost::QgisShape(bad, QgsCoordinateReferenceSystem(kCrs)).isUsable())
                << wkt << " " << x << " " << y;
        }
    }
    EXPECT_TRUE(shape(QString())->isUsable());  // no shape: nothing to spoil a search
}

TEST(SpatialSearch, UpdateCursorNeedsAnOpenEdit) {
    auto points = layerOf("Point", {{"a", "POINT(1 1)"}});
    qgishost::QgisFeatureClass fc(*points);
    host::SpatialFilter filter{shape("POINT(1 1)"), rel::kIntersects, QString()};
    EXPECT_THROW(fc.update(filter), support::Failure);
    auto edit = fc.beginTransaction();
    EXPECT_THROW(fc.beginTransaction(), support::Failure);  // one edit at a time
    auto cursor = fc.update(filter);
    auto f = cursor->nextFeature();
    ASSERT_TRUE(f);
    auto plain = fc.search(filter);
    auto other = plain->nextFeature();
    EXPECT_THROW(cursor->updateFeature(*other), support::Failure);
}

// Far from the origin the held boxes are coarser than the shapes; answers
// stay exact.
TEST(SpatialSearch, EnvelopesAreComparedExactlyFarFromTheOrigin) {
    auto points = layerOf(
        "Point", {{"near", "POINT(5000000.3 5000000.3)"}, {"on", "POINT(5000000.25 5000000.1)"}});
    const QString box =
        "POLYGON((4999999 4999999,5000000.25 4999999,5000000.25 5000000.25,"
        "4999999 5000000.25,4999999 4999999))";
    EXPECT_EQ(searchIds(*points, box, rel::kEnvelopeIntersects), "on");
    EXPECT_EQ(searchIds(*points, box, rel::kIntersects), "on");
    EXPECT_EQ(searchIds(*points, box, rel::kContains), "");  // on the edge, not inside
}
