// Points and lines against a page rectangle, decided from coordinates: every
// answer given must be GEOS's, touches along edges and at corners included.
#include "map/search/rectangle_meet.h"
#include "map/qgis/reading/wkb_writer.h"

#include <qgsgeometry.h>
#include <qgslinestring.h>

#include <cmath>
#include <random>

#include <gtest/gtest.h>

using bramlotte::search::Box;
using bramlotte::search::wkbMeetsRectangle;

namespace {

const Box kPage{2, 3, 5, 7};

QgsGeometry pagePolygon(const Box& b) {
    return QgsGeometry::fromRect(QgsRectangle(b.xmin, b.ymin, b.xmax, b.ymax));
}

std::optional<bool> meets(const QgsGeometry& g, const Box& page = kPage) {
    std::vector<unsigned char> wkb;
    bramlotte::qgishost::appendWkb(*g.constGet(), wkb);
    return wkbMeetsRectangle(wkb.data(), wkb.size(), page);
}

QgsGeometry segment(double ax, double ay, double bx, double by) {
    return QgsGeometry(new QgsLineString(QVector<double>{ax, bx}, QVector<double>{ay, by}));
}

}  // namespace

TEST(RectangleMeet, EverySegmentOnAGridAgreesWithGeos) {
    // Whole coordinates make every determinant exact: all are decided, and
    // the grid holds every kind of touch (corners, along edges, end on edge).
    const QgsGeometry page = pagePolygon(kPage);
    int meeting = 0;
    for (int a = 0; a < 81; ++a) {
        for (int b = a; b < 81; ++b) {
            const QgsGeometry s = segment(a % 9, a / 9, b % 9, b / 9);
            const std::optional<bool> ours = meets(s);
            ASSERT_TRUE(ours) << s.asWkt().toStdString();
            ASSERT_EQ(*ours, s.intersects(page)) << s.asWkt().toStdString();
            meeting += *ours;
        }
    }
    EXPECT_GT(meeting, 500);
}

TEST(RectangleMeet, NearTouchesAreRightOrLeftToGeos) {
    // Segments aimed at a corner or grazing an edge by one unit in the last
    // place, on an irregular page.
    const Box page{0.1, 0.2, 0.7, 0.3};
    const QgsGeometry polygon = pagePolygon(page);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> spread(-1.0, 2.0);
    const double corners[4][2] = {{0.1, 0.2}, {0.7, 0.2}, {0.7, 0.3}, {0.1, 0.3}};
    int decided = 0;
    for (int i = 0; i < 4000; ++i) {
        const double* c = corners[i % 4];
        // From a random point through (just beside) the corner and beyond.
        const double nudge = (i / 4) % 3 == 0 ? 0.0 : ((i / 4) % 3 == 1 ? 1.0 : -1.0);
        const double cx = std::nextafter(c[0], c[0] + nudge), cy = c[1];
        const double ax = spread(random), ay = spread(random);
        const double bx = cx + (cx - ax), by = cy + (cy - ay);
        const QgsGeometry s = segment(ax, ay, i % 2 ? bx : cx, i % 2 ? by : cy);
        if (const std::optional<bool> ours = meets(s, page)) {
            ++decided;
            ASSERT_EQ(*ours, s.intersects(polygon)) << s.asWkt(17).toStdString();
        }
    }
    EXPECT_GT(decided, 2000);  // aimed at corners, yet most need no GEOS
}

TEST(RectangleMeet, PartsPointsAndOtherShapes) {
    EXPECT_EQ(meets(QgsGeometry::fromWkt("Point (5 7)")), true);  // the corner
    EXPECT_EQ(meets(QgsGeometry::fromWkt("Point (5.5 7)")), false);
    EXPECT_EQ(meets(QgsGeometry::fromWkt("MultiPoint ((0 0),(2 4))")), true);
    EXPECT_EQ(meets(QgsGeometry::fromWkt("MultiPoint ((0 0),(1 4))")), false);
    EXPECT_EQ(meets(QgsGeometry::fromWkt("MultiLineString ((0 0, 1 1),(6 8, 4 6))")), true);
    EXPECT_EQ(meets(QgsGeometry::fromWkt("MultiLineString ((0 0, 1 1),(6 8, 9 9))")), false);
    // A line around the page, never in it.
    EXPECT_EQ(meets(QgsGeometry::fromWkt("LineString (1 2, 6 2, 6 8, 1 8, 1 2.5)")), false);
    // Polygons can hold the page without a vertex in it: GEOS decides.
    EXPECT_EQ(meets(QgsGeometry::fromWkt("Polygon ((0 0, 9 0, 9 9, 0 0))")), std::nullopt);
    const unsigned char truncated[] = {1, 2, 0, 0, 0, 5, 0, 0, 0};
    EXPECT_EQ(wkbMeetsRectangle(truncated, sizeof truncated, kPage), std::nullopt);
}
