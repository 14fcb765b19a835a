// Shapes written for GEOS read back as the same plane geometry, curves as
// line segments.
#include "map/qgis/reading/wkb_writer.h"
#include "map/search/wkb.h"

#include <qgsgeometry.h>

#include <gtest/gtest.h>

#include "tests/testing/qt_printers.h"

using bramlotte::qgishost::appendWkb;

namespace {

QString roundTrip(const QString& wkt) {
    const QgsGeometry g = QgsGeometry::fromWkt(wkt);
    std::vector<unsigned char> wkb{0xAA};  // appended after what is there
    appendWkb(*g.constGet(), wkb);
    EXPECT_EQ(wkb.front(), 0xAA);
    QgsGeometry back;
    back.fromWkb(QByteArray(reinterpret_cast<const char*>(wkb.data()) + 1,
                            static_cast<int>(wkb.size()) - 1));
    return back.asWkt(6);
}

}  // namespace

TEST(WkbWriter, EveryLinearTypeReadsBackUnchanged) {
    for (const QString wkt : {"Point (1 2)", "LineString (0 0, 1 1, 2 0)",
                              "Polygon ((0 0, 10 0, 10 10, 0 10, 0 0),(2 2, 3 2, 3 3, 2 2))",
                              "MultiPoint ((1 1),(2 2))", "MultiLineString ((0 0, 1 1),(2 2, 3 3))",
                              "MultiPolygon (((0 0, 1 0, 1 1, 0 0)),((5 5, 6 5, 6 6, 5 5)))",
                              "GeometryCollection (Point (1 1),LineString (0 0, 1 1))"}) {
        EXPECT_EQ(roundTrip(wkt), QgsGeometry::fromWkt(wkt).asWkt(6));
    }
}

TEST(WkbWriter, ZAndCurvesBecomePlaneSegments) {
    EXPECT_EQ(roundTrip("LineStringZ (0 0 5, 1 1 6)"), "LineString (0 0, 1 1)");
    const QString arc = roundTrip("CircularString (0 0, 1 1, 2 0)");
    EXPECT_TRUE(arc.startsWith("LineString (0 0, ")) << arc.toStdString();
    EXPECT_TRUE(arc.endsWith(", 2 0)")) << arc.toStdString();
    EXPECT_GT(arc.count(','), 10);
    EXPECT_TRUE(roundTrip("CurvePolygon (CircularString (0 0, 2 0, 0 0))").startsWith("Polygon"));
}

TEST(WkbWriter, ExactBoundsOfWhatItWrote) {
    for (const auto& [wkt, expected] : std::vector<std::pair<QString, QgsRectangle>>{
             {"Point (1 2)", QgsRectangle(1, 2, 1, 2)},
             {"LineString (5000000.123 1, 5000001.5 -2)",
              QgsRectangle(5000000.123, -2, 5000001.5, 1)},
             {"MultiPolygon (((0 0, 4 0, 4 3, 0 0)),((10 10, 11 10, 11 12, 10 10)))",
              QgsRectangle(0, 0, 11, 12)}}) {
        std::vector<unsigned char> wkb;
        appendWkb(*QgsGeometry::fromWkt(wkt).constGet(), wkb);
        bramlotte::search::Box box;
        ASSERT_TRUE(bramlotte::search::wkbBounds(wkb.data(), wkb.size(), box));
        EXPECT_EQ(QgsRectangle(box.xmin, box.ymin, box.xmax, box.ymax), expected)
            << wkt.toStdString();
        // A cut-off shape is no shape.
        EXPECT_FALSE(bramlotte::search::wkbBounds(wkb.data(), wkb.size() - 1, box));
    }
}
