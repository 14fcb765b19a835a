// The page grid over a real map: Monaco's streets at 1:10 000 on A4 portrait.
#include "print/page_grid.h"

#include "tests/testing/test_maps.h"

#include <qgsfeatureiterator.h>
#include <qgsgeometry.h>
#include <qgsvectorlayer.h>

#include <gtest/gtest.h>

using namespace bramlotte::print;

namespace {

QgsGeometry polygonOf(const MapRect& r) {
    return QgsGeometry::fromRect(QgsRectangle(r.xMin, r.yMin, r.xMax, r.yMax));
}

QgsGeometry unionOf(const std::vector<GridCell>& cells) {
    QVector<QgsGeometry> pages;
    for (const GridCell& cell : cells) {
        pages.append(polygonOf(cell.rect));
    }
    return QgsGeometry::unaryUnion(pages);
}

}  // namespace

TEST(MonacoPageGrid, A4PagesAtTenThousandCoverEveryStreet) {
    const QString path = bramlotte::testmaps::sharedData("monaco.gpkg");
    if (path.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QgsVectorLayer streets(path + "|layername=streets", "streets", "ogr");
    ASSERT_TRUE(streets.isValid());
    // The extent made from the streets themselves: the one the GeoPackage
    // declares falls short of its northernmost street by some 2e-9 m.
    std::vector<QgsGeometry> shapes;
    QgsRectangle e;
    QgsFeature feature;
    for (auto it = streets.getFeatures(); it.nextFeature(feature);) {
        shapes.push_back(feature.geometry());
        e.combineExtentWith(feature.geometry().boundingBox());
    }
    ASSERT_EQ(shapes.size(), 2903u);
    EXPECT_NEAR(e.yMaximum(), streets.extent().yMaximum(), 1e-6);

    const PageFootprint a4 = PaperPages(Paper::A4, Orientation::Portrait, 10000);
    const auto grid = PageGrid({e.xMinimum(), e.yMinimum(), e.xMaximum(), e.yMaximum()}, a4);
    // The streets span 11 515 m x 6 070 m: six pages of 2 100 m across,
    // three of 2 970 m down.
    ASSERT_EQ(grid.size(), 18u);
    EXPECT_EQ(grid.back().page, "C6");
    const QgsGeometry all = unionOf(grid);
    for (size_t s = 0; s < shapes.size(); ++s) {
        EXPECT_TRUE(all.contains(QgsGeometry::fromRect(shapes[s].boundingBox()))) << "street " << s;
    }

    // Kept only where a street meets the page: the streets are still all on
    // the pages kept, and those are numbered without gaps.
    const auto meetsAStreet = [&](const MapRect& rect) {
        const QgsGeometry page = polygonOf(rect);
        for (const QgsGeometry& shape : shapes) {
            if (shape.intersects(page)) {
                return true;
            }
        }
        return false;
    };
    const auto kept =
        PageGrid({e.xMinimum(), e.yMinimum(), e.xMaximum(), e.yMaximum()}, a4, meetsAStreet);
    ASSERT_FALSE(kept.empty());
    EXPECT_LT(kept.size(), grid.size());
    const QgsGeometry keptUnion = unionOf(kept);
    for (size_t s = 0; s < shapes.size(); ++s) {
        EXPECT_NEAR(shapes[s].difference(keptUnion).length(), 0.0, 1e-6) << "street " << s;
    }
    for (size_t k = 0; k < kept.size(); ++k) {
        EXPECT_EQ(kept[k].pageNo, static_cast<int>(k) + 1);
    }
}
