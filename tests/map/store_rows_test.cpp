// A layer read into a feature store's rows gives the same rows whether it
// is read whole or as two halves by id on two threads.
#include "map/qgis/reading/layer_reading.h"
#include "tests/testing/same_rows.h"
#include "tests/testing/test_maps.h"

#include <qgsvectordataprovider.h>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using namespace bramlotte;
using qgishost::readHalves;
using qgishost::readRows;
using qgishost::StoreRows;

using testmaps::expectSameRows;

namespace {

constexpr size_t kNeverSplit = std::numeric_limits<size_t>::max();

// `count` streets with repeated names, some without a name, a number or a
// shape.
std::unique_ptr<QgsVectorLayer> streetsFile(const QString& path, int count) {
    std::vector<testmaps::Row> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back(
            {i % 17 == 5 ? QString()
                         : QStringLiteral("LINESTRING(%1 0,%1 %2)").arg(i).arg(1 + i % 7),
             {i % 11 == 3 ? QVariant() : QVariant(QStringLiteral("Street %1").arg(i % 23)),
              i % 13 == 4 ? QVariant() : QVariant(i)}});
    }
    auto memory =
        testmaps::memoryLayer("streets", "LineString", {"name:string", "n:integer"}, rows);
    return testmaps::writeGeoPackage(*memory, path, "streets");
}

}  // namespace

TEST(StoreRows, TwoHalvesByIdGiveTheRowsOfOneRead) {
    QTemporaryDir dir;
    auto layer = streetsFile(dir.filePath("s.gpkg"), 300);
    const StoreRows whole = readRows(*layer, kNeverSplit);
    ASSERT_EQ(whole.count(), 300u);
    EXPECT_EQ(whole.ids.front(), 1);
    auto halves = readHalves(*layer, 100);
    ASSERT_TRUE(halves);
    expectSameRows(*halves, whole);

    // Ids with a gap, most of them in the first half.
    QgsFeatureIds gone;
    for (QgsFeatureId id = 20; id < 170; ++id) {
        gone << id;
    }
    ASSERT_TRUE(layer->dataProvider()->deleteFeatures(gone));
    const StoreRows gapped = readRows(*layer, kNeverSplit);
    ASSERT_EQ(gapped.count(), 150u);
    halves = readHalves(*layer, 100);
    ASSERT_TRUE(halves);
    expectSameRows(*halves, gapped);

    // A filtered layer: each half keeps the filter.
    ASSERT_TRUE(layer->setSubsetString("\"n\" % 2 = 0"));
    const StoreRows even = readRows(*layer, kNeverSplit);
    ASSERT_GT(even.count(), 50u);
    halves = readHalves(*layer, 50);
    ASSERT_TRUE(halves);
    expectSameRows(*halves, even);
}

TEST(StoreRows, WhatTheDataSourceDoesNotHoldIsReadThroughTheLayer) {
    QTemporaryDir dir;
    auto layer = streetsFile(dir.filePath("s.gpkg"), 120);
    EXPECT_FALSE(readHalves(*layer, 121));  // too few features to share

    // A feature added in the user's unsaved edit is read, and the halves,
    // which would miss it, are not used.
    ASSERT_TRUE(layer->startEditing());
    QgsFeature added(layer->fields());
    added.setGeometry(QgsGeometry::fromWkt("LINESTRING(500 0,500 1)"));
    added.setAttribute("name", "New St");
    ASSERT_TRUE(layer->addFeature(added));
    EXPECT_FALSE(readHalves(*layer, 1));
    const StoreRows edited = readRows(*layer, 1);
    EXPECT_EQ(edited.count(), 121u);
    EXPECT_EQ(edited.columns[1].at(0), QVariant("New St"));  // its new id sorts first
    layer->rollBack();

    auto memory = testmaps::memoryLayer("m", "Point", {"name:string"}, {{"POINT(1 1)", {"a"}}});
    EXPECT_FALSE(readHalves(*memory, 1));
    EXPECT_EQ(readRows(*memory, 1).count(), 1u);
}

TEST(StoreRows, AppendedPartsKeepEveryShapeWhereverItLies) {
    // Rows whose "shapes" are their own numbers, some empty, in three parts:
    // the second is taken over as a block, the third copied after it, and a
    // row added at the end.
    auto part = [](int first, int count) {
        StoreRows rows(std::vector<bool>{true});
        for (int n = first; n < first + count; ++n) {
            rows.ids.push_back(n);
            rows.columns[0].append(QVariant(n));
            if (n % 4 != 3) {
                const unsigned char bytes[] = {static_cast<unsigned char>(n),
                                               static_cast<unsigned char>(n + 1)};
                rows.appendShapeBytes(bytes, n % 2 ? 2 : 1);
            }
            rows.endRow({});
        }
        return rows;
    };
    StoreRows rows = part(0, 6);
    rows.append(part(6, 5));
    rows.append(part(11, 4));
    const unsigned char last[] = {200, 201, 202};
    rows.ids.push_back(15);
    rows.columns[0].append(QVariant(15));
    rows.appendShapeBytes(last, 3);
    rows.endRow({});
    ASSERT_EQ(rows.count(), 16u);
    for (size_t row = 0; row < rows.count(); ++row) {
        const int n = static_cast<int>(row);
        EXPECT_EQ(rows.ids[row], n);
        EXPECT_EQ(rows.columns[0].at(row).toInt(), n);
        size_t size = 0;
        const unsigned char* shape = rows.wkb(row, size);
        if (n == 15) {
            ASSERT_EQ(size, 3u);
            EXPECT_EQ(shape[2], 202);
        } else if (n % 4 == 3) {
            EXPECT_FALSE(rows.hasGeometry(row)) << n;
        } else {
            ASSERT_EQ(size, n % 2 ? 2u : 1u) << n;
            EXPECT_EQ(shape[0], n) << n;
        }
    }
}
