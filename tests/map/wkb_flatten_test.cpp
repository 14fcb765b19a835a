// WKB from a data source becomes the store's flat WKB exactly as the host's
// own geometries would be written: QGIS's WKB of a shape (Z, M, either byte
// order) flattened here equals QGIS's geometry written by appendWkb, and
// empty shapes are empty by the host's rules.
#include "map/search/wkb_flatten.h"
#include "map/qgis/reading/wkb_writer.h"
#include "map/search/wkb.h"

#include <qgsgeometry.h>
#include <qgslinestring.h>
#include <qgspolygon.h>

#include <gtest/gtest.h>

#include "tests/testing/qt_printers.h"

using bramlotte::host::ShapeFault;
using bramlotte::qgishost::appendWkb;
using bramlotte::search::appendFlatWkb;
using bramlotte::search::Box;
using bramlotte::search::FlattenResult;

namespace {

std::vector<unsigned char> bytes(const QByteArray& a) {
    return std::vector<unsigned char>(a.begin(), a.end());
}

// The same shape in big-endian byte order: every header, count and number
// turned around.
class BigEndian {
  public:
    explicit BigEndian(const std::vector<unsigned char>& le) : in_(le) {}
    std::vector<unsigned char> shape() {
        out_.clear();
        at_ = 0;
        one();
        return out_;
    }

  private:
    uint32_t word() {
        uint32_t v;
        std::memcpy(&v, &in_[at_], 4);
        for (int i = 3; i >= 0; --i) {
            out_.push_back(in_[at_ + static_cast<size_t>(i)]);
        }
        at_ += 4;
        return v;
    }
    void number() {
        for (int i = 7; i >= 0; --i) {
            out_.push_back(in_[at_ + static_cast<size_t>(i)]);
        }
        at_ += 8;
    }
    void one() {
        out_.push_back(0);
        ++at_;
        const uint32_t type = word();
        const int dims =
            2 + ((type / 1000 == 1 || type / 1000 == 2) ? 1 : 0) + (type / 1000 == 3 ? 2 : 0);
        auto points = [&](uint32_t n) {
            for (uint32_t i = 0; i < n * static_cast<uint32_t>(dims); ++i) {
                number();
            }
        };
        switch (type % 1000) {
            case 1:
                points(1);
                break;
            case 2:
                points(word());
                break;
            case 3:
                for (uint32_t r = word(); r > 0; --r) {
                    points(word());
                }
                break;
            default:
                for (uint32_t p = word(); p > 0; --p) {
                    one();
                }
        }
    }
    const std::vector<unsigned char>& in_;
    std::vector<unsigned char> out_;
    size_t at_ = 0;
};

}  // namespace

TEST(WkbFlatten, AnyDimensionAndByteOrderGivesWhatTheWriterWritesForTheGeometry) {
    for (const QString wkt :
         {"Point (1 2)", "PointZ (1 2 3)", "PointM (1 2 4)", "PointZM (1 2 3 4)",
          "LineString (0 0, 1 1, 2 0)", "LineStringZ (0 0 5, 1 1 6)", "LineStringM (0 0 5, 1 1 6)",
          "LineStringZM (0 0 5 7, 1 1 6 8, 3 -1 0 0)",
          "PolygonZ ((0 0 1, 10 0 1, 10 10 1, 0 10 1, 0 0 1),(2 2 0, 3 2 0, 3 3 0, 2 2 0))",
          "MultiPointM ((1 1 9),(2 2 9))", "MultiLineStringZ ((0 0 1, 1 1 1),(2 2 2, 3 3 3))",
          "MultiPolygon (((0 0, 1 0, 1 1, 0 0)),((5 5, 6 5, 6 6, 5 5)))",
          "GeometryCollection (PointZ (1 1 1),LineString (0 0, 1 1))"}) {
        const QgsGeometry g = QgsGeometry::fromWkt(wkt);
        ASSERT_FALSE(g.isNull()) << wkt.toStdString();
        std::vector<unsigned char> want;
        appendWkb(*g.constGet(), want);
        Box exact;
        ASSERT_TRUE(bramlotte::search::wkbBounds(want.data(), want.size(), exact))
            << wkt.toStdString();
        const std::vector<unsigned char> little = bytes(g.asWkb());
        for (const auto& source : {little, BigEndian(little).shape()}) {
            std::vector<unsigned char> got{0xAA};  // appended after what is there
            Box box;
            ShapeFault fault = ShapeFault::Unreadable;
            ASSERT_EQ(appendFlatWkb(source.data(), source.size(), false, got, box, fault),
                      FlattenResult::Shape)
                << wkt.toStdString();
            EXPECT_EQ(std::vector<unsigned char>(got.begin() + 1, got.end()), want)
                << wkt.toStdString();
            EXPECT_EQ(fault, ShapeFault::None);
            EXPECT_TRUE(box.xmin == exact.xmin && box.ymin == exact.ymin &&
                        box.xmax == exact.xmax && box.ymax == exact.ymax)
                << wkt.toStdString();
        }
    }
}

TEST(WkbFlatten, SinglePartsOfAMultipartLayerBecomeCollectionsOfOnePart) {
    for (const auto& [single, multi] :
         {std::pair{"PointZ (1 2 3)", "MultiPoint ((1 2))"},
          std::pair{"LineString (0 0, 1 1)", "MultiLineString ((0 0, 1 1))"},
          std::pair{"Polygon ((0 0, 1 0, 1 1, 0 0))", "MultiPolygon (((0 0, 1 0, 1 1, 0 0)))"},
          std::pair{"MultiLineString ((0 0, 1 1))", "MultiLineString ((0 0, 1 1))"},
          std::pair{"GeometryCollection (Point (1 1))", "GeometryCollection (Point (1 1))"}}) {
        QgsGeometry g = QgsGeometry::fromWkt(single);
        const std::vector<unsigned char> source = bytes(g.asWkb());
        g.convertToMultiType();  // as QGIS's GeoPackage reader does for such a layer
        std::vector<unsigned char> want, got;
        appendWkb(*g.constGet(), want);
        Box box;
        ShapeFault fault = ShapeFault::None;
        ASSERT_EQ(appendFlatWkb(source.data(), source.size(), true, got, box, fault),
                  FlattenResult::Shape);
        EXPECT_EQ(got, want) << single;
        std::vector<unsigned char> flat;
        appendWkb(*QgsGeometry::fromWkt(multi).constGet(), flat);
        EXPECT_EQ(got, flat) << single;
    }
}

TEST(WkbFlatten, EmptyNonFiniteAndUnreadableShapes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto flatten = [](const QgsGeometry& g, ShapeFault& fault) {
        const std::vector<unsigned char> source = bytes(g.asWkb());
        std::vector<unsigned char> out;
        Box box;
        fault = ShapeFault::None;
        const FlattenResult r = appendFlatWkb(source.data(), source.size(), false, out, box, fault);
        EXPECT_EQ(out.empty(), r != FlattenResult::Shape);
        return r;
    };
    ShapeFault fault = ShapeFault::None;
    // Empty as QGIS counts it: the host leaves such shapes out.
    for (const QgsGeometry& g :
         {QgsGeometry::fromWkt("LineString EMPTY"), QgsGeometry::fromWkt("Polygon EMPTY"),
          QgsGeometry::fromWkt("MultiPolygon EMPTY"),
          QgsGeometry::fromWkt("GeometryCollection (LineString EMPTY, Point EMPTY)"),
          QgsGeometry(new QgsPoint(nan, 1)), QgsGeometry(new QgsPoint(1, nan))}) {
        ASSERT_TRUE(g.constGet()->isEmpty()) << g.asWkt().toStdString();
        EXPECT_EQ(flatten(g, fault), FlattenResult::Empty) << g.asWkt().toStdString();
    }
    // Not empty, but no number: held and then left out of every search.
    for (const QgsGeometry& g : {QgsGeometry(new QgsPoint(inf, 1)),
                                 QgsGeometry::fromPolyline({QgsPoint(0, 0), QgsPoint(nan, 1)})}) {
        ASSERT_FALSE(g.constGet()->isEmpty());
        EXPECT_EQ(flatten(g, fault), FlattenResult::Shape);
        EXPECT_EQ(fault, ShapeFault::NonFinite);
    }
    // Curves and triangles: for the host's own reader.
    for (const QString wkt : {"CircularString (0 0, 1 1, 2 0)", "CompoundCurve ((0 0, 1 1))",
                              "Triangle ((0 0, 1 0, 0 1, 0 0))",
                              "GeometryCollection (Point (1 1), CircularString (0 0, 1 1, 2 0))"}) {
        EXPECT_EQ(flatten(QgsGeometry::fromWkt(wkt), fault), FlattenResult::Unsupported)
            << wkt.toStdString();
    }
    const std::vector<unsigned char> line =
        bytes(QgsGeometry::fromWkt("LineString (0 0, 1 1, 2 2)").asWkb());
    for (size_t cut = 0; cut < line.size(); cut += 3) {
        std::vector<unsigned char> out;
        Box box;
        EXPECT_EQ(appendFlatWkb(line.data(), cut, false, out, box, fault), FlattenResult::Malformed)
            << cut;
        EXPECT_TRUE(out.empty());
    }
}

TEST(WkbFlatten, OpenRingsAreClosedAndRingsWithoutAreaAreFaults) {
    // WKB as a data source may hold it: an outer ring without its closing
    // point, then rings of two points, in polygons and in a multipolygon.
    auto ringWkb = [](const std::vector<std::vector<std::pair<double, double>>>& rings) {
        std::vector<unsigned char> wkb{1};
        auto put32 = [&wkb](uint32_t v) {
            const auto* b = reinterpret_cast<const unsigned char*>(&v);
            wkb.insert(wkb.end(), b, b + 4);
        };
        auto putDouble = [&wkb](double v) {
            const auto* b = reinterpret_cast<const unsigned char*>(&v);
            wkb.insert(wkb.end(), b, b + 8);
        };
        put32(3);
        put32(static_cast<uint32_t>(rings.size()));
        for (const auto& ring : rings) {
            put32(static_cast<uint32_t>(ring.size()));
            for (const auto& [x, y] : ring) {
                putDouble(x);
                putDouble(y);
            }
        }
        return wkb;
    };
    const auto open = ringWkb({{{0, 0}, {10, 0}, {10, 10}, {0, 10}}});
    std::vector<unsigned char> got, want;
    Box box;
    ShapeFault fault = ShapeFault::Unreadable;
    ASSERT_EQ(appendFlatWkb(open.data(), open.size(), false, got, box, fault),
              FlattenResult::Shape);
    EXPECT_EQ(fault, ShapeFault::None);
    appendWkb(*QgsGeometry::fromWkt("Polygon ((0 0, 10 0, 10 10, 0 10, 0 0))").constGet(), want);
    EXPECT_EQ(got, want);
    EXPECT_EQ(bramlotte::search::wkbFault(got.data(), got.size()), ShapeFault::None);

    for (const auto& rings : std::vector<std::vector<std::vector<std::pair<double, double>>>>{
             {{{0, 0}, {10, 0}}},
             {{{0, 0}, {10, 0}, {0, 0}, {10, 0}, {0, 0}}},
             {{{0, 0}, {10, 0}, {10, 10}, {0, 0}}, {{2, 2}, {2, 2}, {2, 2}, {2, 2}}}}) {
        const auto wkb = ringWkb(rings);
        std::vector<unsigned char> out;
        ASSERT_EQ(appendFlatWkb(wkb.data(), wkb.size(), true, out, box, fault),
                  FlattenResult::Shape);
        EXPECT_EQ(fault, ShapeFault::DegenerateRing) << rings.size();
        EXPECT_EQ(bramlotte::search::wkbFault(out.data(), out.size()), ShapeFault::DegenerateRing);
    }
    // The host's own writer closes open rings the same way.
    QgsPolygon polygon;
    polygon.setExteriorRing(
        new QgsLineString(QVector<double>{0, 10, 10, 0}, QVector<double>{0, 0, 10, 10}));
    std::vector<unsigned char> written;
    appendWkb(polygon, written);
    EXPECT_EQ(written, want);
}
