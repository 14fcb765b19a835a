// Same-named streets told apart by locality: which segments make one street,
// which locality holds the largest part of each, which keys split or need a
// check, on small exact shapes; then the host's reading of two QGIS layers.
#include "map/search/street_localities.h"
#include "map/map_walk.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/features/qgis_shape.h"
#include "tests/testing/test_maps.h"

#include <qgscoordinatetransform.h>

#include <gtest/gtest.h>

#include <deque>

using namespace bramlotte;
using search::StreetLocalityResult;

namespace {

// Segments and localities given as WKT, run through the computation.
class Town {
  public:
    // Adds a segment of `key` (-1 none); returns its number.
    size_t segment(int32_t key, const QString& wkt) {
        segments_.push_back({key, nullptr, 0});
        segmentShapes_.push_back(wkbOf(wkt));
        return segments_.size() - 1;
    }
    size_t locality(uint32_t name, const QString& wkt) {
        localities_.push_back({name, nullptr, 0});
        localityShapes_.push_back(wkbOf(wkt));
        return localities_.size() - 1;
    }
    StreetLocalityResult run(double distance = 0, bool always = false) {
        for (size_t i = 0; i < segments_.size(); ++i) {
            point(segments_[i], segmentShapes_[i]);
        }
        for (size_t i = 0; i < localities_.size(); ++i) {
            point(localities_[i], localityShapes_[i]);
        }
        return search::findStreetLocalities(segments_, localities_, {distance, always});
    }

  private:
    static QByteArray wkbOf(const QString& wkt) {
        return wkt.isEmpty() ? QByteArray() : QgsGeometry::fromWkt(wkt).asWkb();
    }
    template <typename T>
    static void point(T& item, const QByteArray& shape) {
        item.wkb = shape.isEmpty() ? nullptr : reinterpret_cast<const unsigned char*>(shape.data());
        item.size = static_cast<size_t>(shape.size());
    }
    std::vector<search::StreetSegment> segments_;
    std::vector<search::LocalityArea> localities_;
    std::deque<QByteArray> segmentShapes_, localityShapes_;
};

const QString kWest = "POLYGON((0 0,10 0,10 10,0 10,0 0))";
const QString kEast = "POLYGON((10 0,20 0,20 10,10 10,10 0))";

// Whether segments `a` and `b` are one street.
bool together(const StreetLocalityResult& r, size_t a, size_t b) {
    return r.streetOf[a] >= 0 && r.streetOf[a] == r.streetOf[b];
}
int32_t localityOf(const StreetLocalityResult& r, size_t segment) {
    return r.streetOf[segment] < 0 ? -2 : r.localityOf[static_cast<size_t>(r.streetOf[segment])];
}

}  // namespace

TEST(StreetLocalities, SegmentsOfOneKeyThatTouchOrChainAreOneStreet) {
    Town town;
    const size_t apart = town.segment(0, "LINESTRING(50 0,60 0)");
    const size_t a = town.segment(0, "LINESTRING(0 0,10 0)");
    const size_t b = town.segment(0, "LINESTRING(20 0,30 0)");
    const size_t link = town.segment(0, "LINESTRING(10 0,20 0)");      // a to b
    const size_t crossing = town.segment(0, "LINESTRING(5 -5,5 5)");   // crosses a
    const size_t otherKey = town.segment(1, "LINESTRING(30 0,40 0)");  // touches b
    const size_t noKey = town.segment(-1, "LINESTRING(60 0,70 0)");
    const size_t noShape = town.segment(0, "");
    const StreetLocalityResult r = town.run();
    EXPECT_TRUE(together(r, a, b) && together(r, a, link) && together(r, a, crossing));
    EXPECT_FALSE(together(r, a, apart));
    EXPECT_FALSE(together(r, b, otherKey));
    EXPECT_EQ(r.streetOf[noKey], -1);
    EXPECT_EQ(r.streetOf[noShape], -1);
    // Numbered in the order of their first segments.
    EXPECT_EQ(r.streetOf[apart], 0);
    EXPECT_EQ(r.streetOf[a], 1);
    EXPECT_EQ(r.streetOf[otherKey], 2);
    EXPECT_EQ(r.keyOf, (std::vector<int32_t>{0, 0, 1}));
}

TEST(StreetLocalities, JoinDistanceIsMeasuredBetweenShapesNotBoxes) {
    Town town;
    const size_t a = town.segment(0, "LINESTRING(0 0,10 0)");
    const size_t under = town.segment(0, "LINESTRING(14.999 0,20 0)");  // 4.999 from a
    const size_t over = town.segment(0, "LINESTRING(25.001 0,30 0)");   // 5.001 from under
    // Boxes that meet, shapes 7.07 apart.
    const size_t diagonal = town.segment(1, "LINESTRING(0 0,10 10)");
    const size_t beside = town.segment(1, "LINESTRING(10 0,12 0)");
    StreetLocalityResult r = town.run(5);
    EXPECT_TRUE(together(r, a, under));
    EXPECT_FALSE(together(r, under, over));
    EXPECT_FALSE(together(r, diagonal, beside));
    r = town.run(0);
    EXPECT_FALSE(together(r, a, under));
    r = town.run(7.1);
    EXPECT_TRUE(together(r, diagonal, beside));
    EXPECT_THROW(town.run(-1), std::invalid_argument);
}

// Keys of many segments go through a tree of their own boxes.
TEST(StreetLocalities, ALongChainOfOneKeyIsOneStreet) {
    Town town;
    for (int i = 0; i < 200; ++i) {
        // Every other segment reversed, with gaps of 0.5 that a distance of 1 bridges.
        const double x = i * 10.5;
        town.segment(3, i % 2 ? QString("LINESTRING(%1 0,%2 0)").arg(x + 10).arg(x)
                              : QString("LINESTRING(%1 0,%2 0)").arg(x).arg(x + 10));
    }
    StreetLocalityResult r = town.run(1);
    EXPECT_EQ(r.keyOf.size(), 1u);
    r = town.run(0.4);
    EXPECT_EQ(r.keyOf.size(), 200u);
}

TEST(StreetLocalities, TheLocalityHoldingMostOfAStreetWinsTheFirstOnATie) {
    Town town;
    const size_t west = town.locality(0, kWest);
    const size_t east = town.locality(1, kEast);
    const size_t mostlyWest = town.segment(0, "LINESTRING(2 5,14 5)");
    const size_t mostlyEast = town.segment(1, "LINESTRING(8 5,20 5)");
    const size_t halves = town.segment(2, "LINESTRING(5 5,15 5)");
    const size_t onTheBorder = town.segment(3, "LINESTRING(10 1,10 9)");
    const size_t outside = town.segment(4, "LINESTRING(30 5,40 5)");
    const size_t touchesCorner = town.segment(5, "LINESTRING(20 0,25 -5)");
    // Two segments of one street: 3 + 3 in the east beat 4 in the west.
    const size_t split1 = town.segment(6, "LINESTRING(6 2,13 2)");
    const size_t split2 = town.segment(6, "LINESTRING(13 2,16 2)");
    // The street's length, not its segment count: one long segment in the
    // west (9 with the link) beats three short ones in the east (4).
    const size_t long1 = town.segment(7, "LINESTRING(1 8,9 8)");
    town.segment(7, "LINESTRING(9 8,11 8)");
    town.segment(7, "LINESTRING(11 8,12 8)");
    town.segment(7, "LINESTRING(12 8,13 8)");
    town.segment(7, "LINESTRING(13 8,14 8)");
    const StreetLocalityResult r = town.run();
    EXPECT_EQ(localityOf(r, mostlyWest), int32_t(west));
    EXPECT_EQ(localityOf(r, mostlyEast), int32_t(east));
    EXPECT_EQ(localityOf(r, halves), int32_t(west));
    EXPECT_EQ(localityOf(r, onTheBorder), int32_t(west));
    EXPECT_EQ(localityOf(r, outside), -1);
    EXPECT_EQ(localityOf(r, touchesCorner), -1);
    EXPECT_EQ(localityOf(r, split1), int32_t(east));
    EXPECT_EQ(localityOf(r, split2), int32_t(east));
    EXPECT_EQ(localityOf(r, long1), int32_t(west));

    Town reversed;  // the east first: ties go to it
    reversed.locality(1, kEast);
    reversed.locality(0, kWest);
    const size_t tie = reversed.segment(0, "LINESTRING(5 5,15 5)");
    EXPECT_EQ(localityOf(reversed.run(), tie), 0);
}

TEST(StreetLocalities, PointsCountAndPolygonsWeighByArea) {
    Town town;
    town.locality(0, kWest);
    town.locality(1, kEast);
    // Points of one key within 3 of each other: 2 in the east, 1 in the west.
    const size_t p1 = town.segment(0, "POINT(9 5)");
    const size_t p2 = town.segment(0, "POINT(11 5)");
    const size_t p3 = town.segment(0, "POINT(13 5)");
    const size_t far = town.segment(0, "POINT(2 2)");
    const size_t multi = town.segment(1, "MULTIPOINT((1 1),(2 2),(15 5))");
    const size_t plaza = town.segment(2, "POLYGON((8 2,14 2,14 4,8 4,8 2))");  // 4 west, 8 east
    const StreetLocalityResult r = town.run(3);
    EXPECT_TRUE(together(r, p1, p3));
    EXPECT_FALSE(together(r, p1, far));
    EXPECT_EQ(localityOf(r, p2), 1);
    EXPECT_EQ(localityOf(r, far), 0);
    EXPECT_EQ(localityOf(r, multi), 0);
    EXPECT_EQ(localityOf(r, plaza), 1);
    EXPECT_TRUE(r.split[0]);
}

TEST(StreetLocalities, KeysSplitByLocalityNameAndPiecesInOneAreToCheck) {
    Town town;
    const size_t west = town.locality(0, kWest);
    const size_t east = town.locality(1, kEast);
    const size_t westToo =
        town.locality(0, "POLYGON((0 20,10 20,10 30,0 30,0 20))");  // "West" again
    // Key 0 in both: split, each with its own locality, the one outside bare.
    const size_t port1 = town.segment(0, "LINESTRING(1 1,4 1)");
    const size_t port2 = town.segment(0, "LINESTRING(15 1,18 1)");
    const size_t portOut = town.segment(0, "LINESTRING(40 1,45 1)");
    // Key 1 in the west twice, far apart: one entry, to check.
    const size_t twice1 = town.segment(1, "LINESTRING(1 3,2 3)");
    const size_t twice2 = town.segment(1, "LINESTRING(7 3,8 3)");
    // Key 2 in two localities of one name: not split, to check.
    const size_t sameName = town.segment(2, "LINESTRING(1 5,2 5)");
    town.segment(2, "LINESTRING(1 25,2 25)");
    // Key 3: one street in the east, one outside.
    const size_t once = town.segment(3, "LINESTRING(15 7,18 7)");
    town.segment(3, "LINESTRING(40 7,45 7)");

    StreetLocalityResult r = town.run();
    EXPECT_EQ(r.split, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(r.toCheck, (std::vector<uint8_t>{0, 1, 1, 0}));
    EXPECT_EQ(r.shownLocality(port1), int32_t(west));
    EXPECT_EQ(r.shownLocality(port2), int32_t(east));
    EXPECT_EQ(r.shownLocality(portOut), -1);
    EXPECT_EQ(r.shownLocality(twice1), -1);
    EXPECT_EQ(localityOf(r, twice2), int32_t(west));
    EXPECT_EQ(r.shownLocality(sameName), -1);
    EXPECT_EQ(r.shownLocality(once), -1);

    // Always: every street with a locality shows it; the decision stays.
    r = town.run(0, true);
    EXPECT_EQ(r.split, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(r.shownLocality(twice1), int32_t(west));
    EXPECT_EQ(r.shownLocality(once), int32_t(east));
    EXPECT_EQ(r.shownLocality(portOut), -1);
    EXPECT_EQ(localityOf(r, sameName + 1), int32_t(westToo));
}

TEST(StreetLocalities, InvalidLocalitiesAreMadeValidAndUnreadableSegmentsLeftOut) {
    Town town;
    // A bow tie: two triangles meeting at (5 5).
    town.locality(0, "POLYGON((0 0,10 10,10 0,0 10,0 0))");
    town.locality(1, "POLYGON((20 0,30 0,30 10,20 10,20 0))");
    // 1 in each triangle, 6 between them.
    const size_t across = town.segment(0, "LINESTRING(1 2,9 2)");
    const size_t far = town.segment(1, "LINESTRING(21 5,29 5)");
    const StreetLocalityResult r = town.run();
    EXPECT_EQ(localityOf(r, across), 0);
    EXPECT_EQ(localityOf(r, far), 1);

    std::vector<search::StreetSegment> segments{{0, nullptr, 0}};
    const unsigned char garbage[] = {1, 2, 0, 0, 0, 7};
    segments[0].wkb = garbage;
    segments[0].size = sizeof garbage;
    EXPECT_EQ(search::findStreetLocalities(segments, {}, {}).streetOf, (std::vector<int32_t>{-1}));
}

namespace {

// A project with streets and localities as the host sees them.
struct LocalityMap {
    LocalityMap(const std::vector<testmaps::Row>& streets,
                const std::vector<testmaps::Row>& localities, const QString& localityType,
                const QString& localityCrs = "EPSG:32632")
        : document(project) {
        project.addMapLayer(
            testmaps::memoryLayer("streets", "LineString", {"name:string"}, streets).release());
        project.addMapLayer(testmaps::memoryLayer("quarters", localityType, {"quarter:string"},
                                                  localities, localityCrs)
                                .release());
        auto map = document.focusMap();
        streetLayer = map::lastFeatureLayerNamed(*map, "streets");
        quarterLayer = map::lastFeatureLayerNamed(*map, "quarters");
    }
    host::StreetLocalities run(const host::LocalityRule& rule = {}) {
        return streetLayer->asFeatureLayer()->streetLocalities(0, *quarterLayer->asFeatureLayer(),
                                                               0, rule);
    }
    // "name: locality shown" of every street feature, as a search delivers them.
    QStringList shown(const host::StreetLocalities& places) {
        auto features = streetLayer->asFeatureLayer()->featureClass();
        auto cursor = features->search({std::make_shared<qgishost::QgisShape>(
                                            QgsGeometry::fromWkt("POLYGON((-1e8 -1e8,1e8 -1e8,"
                                                                 "1e8 1e8,-1e8 1e8,-1e8 -1e8))"),
                                            QgsCoordinateReferenceSystem("EPSG:32632")),
                                        host::relation::kIntersects, features->shapeFieldName()});
        QStringList out;
        while (auto f = cursor->nextFeature()) {
            const int at = places.shownLocality(*f);
            out << f->value(0).toString() + ":" +
                       (at < 0 ? QString() : places.localityName(at).toString());
        }
        return out;
    }
    QgsProject project;
    qgishost::QgisMapDocument document;
    std::unique_ptr<host::Layer> streetLayer, quarterLayer;
};

QStringList texts(const std::vector<QVariant>& values) {
    QStringList out;
    for (const QVariant& v : values) {
        out << v.toString();
    }
    return out;
}

// `wkt` in EPSG:32632 as EPSG:4326 coordinates.
QString inDegrees(const QString& wkt) {
    QgsGeometry g = QgsGeometry::fromWkt(wkt);
    g.transform(QgsCoordinateTransform(QgsCoordinateReferenceSystem("EPSG:32632"),
                                       QgsCoordinateReferenceSystem("EPSG:4326"),
                                       QgsProject::instance()->transformContext()));
    return g.asWkt(12);
}

const QString kQuarterA =
    "POLYGON((370000 4840000,371000 4840000,371000 4841000,370000 4841000,"
    "370000 4840000))";
const QString kQuarterB =
    "POLYGON((371000 4840000,372000 4840000,372000 4841000,371000 4841000,"
    "371000 4840000))";

}  // namespace

TEST(StreetLocalitiesHost, LayersInAnotherCrsBlanksAndLookupsByFeature) {
    LocalityMap map({{"LINESTRING(370100 4840500,370400 4840500)", {"Rue du Port"}},
                     {"LINESTRING(371600 4840500,371900 4840500)", {"Rue du Port"}},
                     {"LINESTRING(370100 4840200,370200 4840200)", {"Quai"}},
                     {"LINESTRING(370700 4840200,370800 4840200)", {"Quai"}},
                     {"LINESTRING(371100 4840800,371200 4840800)", {"  "}},
                     {"LINESTRING(371300 4840800,371400 4840800)", {QVariant()}}},
                    {{inDegrees(kQuarterA), {"La Condamine"}},
                     {inDegrees(kQuarterB), {"Monte-Carlo"}},
                     {inDegrees(kQuarterB), {QVariant()}},  // no name: no locality
                     {"POLYGON((0 0,1 0,0 0))", {"Broken"}}},
                    "Polygon", "EPSG:4326");
    const host::StreetLocalities places = map.run();
    EXPECT_EQ(map.shown(places), (QStringList{"Rue du Port:La Condamine", "Rue du Port:Monte-Carlo",
                                              "Quai:", "Quai:", "  :", ":"}));
    EXPECT_EQ(texts(places.splitKeys), QStringList{"Rue du Port"});
    EXPECT_EQ(texts(places.keysToCheck), QStringList{"Quai"});
    EXPECT_EQ(places.localityCount(), 2);
    EXPECT_EQ(places.streetCount(), 4);
    EXPECT_EQ(places.skippedLocalities.count(), 1);

    // By id where the position is not the feature's own; none for ids not there.
    class Stray : public host::Feature {
      public:
        Stray(long long id, long long position) : id_(id), position_(position) {}
        long long id() const override { return id_; }
        long long position() const override { return position_; }
        std::shared_ptr<const host::Shape> shape() const override { return nullptr; }
        QVariant value(int) const override { return {}; }
        void putValue(int, const QString&) override {}

      private:
        long long id_, position_;
    };
    EXPECT_EQ(places.localityName(places.shownLocality(Stray(2, 0))), "Monte-Carlo");
    EXPECT_EQ(places.streetLocality(Stray(4, -1)), 0);
    EXPECT_EQ(places.shownLocality(Stray(4, -1)), -1);
    EXPECT_EQ(places.street(Stray(99, 1)), -1);
    EXPECT_EQ(places.street(Stray(5, 4)), -1);  // blank key

    const host::StreetLocalities always = map.run({0, true});
    EXPECT_EQ(map.shown(always)[2], "Quai:La Condamine");
}

TEST(StreetLocalitiesHost, RefusesLocalitiesThatAreNoAreasAndBadArguments) {
    LocalityMap lines({{"LINESTRING(370100 4840500,370400 4840500)", {"Rue"}}},
                      {{"LINESTRING(370000 4840000,371000 4841000)", {"A"}}}, "LineString");
    EXPECT_THROW(lines.run(), support::Failure);
    LocalityMap map({{"LINESTRING(370100 4840500,370400 4840500)", {"Rue"}}}, {{kQuarterA, {"A"}}},
                    "Polygon");
    EXPECT_THROW(map.run({-1, false}), support::Failure);
    EXPECT_THROW(map.streetLayer->asFeatureLayer()->streetLocalities(
                     5, *map.quarterLayer->asFeatureLayer(), 0, {}),
                 support::Failure);
    EXPECT_THROW(map.streetLayer->asFeatureLayer()->streetLocalities(
                     0, *map.quarterLayer->asFeatureLayer(), 3, {}),
                 support::Failure);
}
