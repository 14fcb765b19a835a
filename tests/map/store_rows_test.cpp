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

TEST(StoreRows, RowsPutInIdOrderFindTheirShapesWhereTheyLie) {
    // Ids out of order, as a table's rows come after updates; each row's
    // "shape" is its id's bytes, some rows without one.
    auto part = [](std::vector<long long> partIds) {
        StoreRows rows(std::vector<bool>{true});
        for (const long long id : partIds) {
            rows.ids.push_back(id);
            rows.columns[0].append(QVariant(id * 10));
            if (id % 5 != 0) {
                const std::vector<unsigned char> bytes(static_cast<size_t>(id % 3 + 1),
                                                       static_cast<unsigned char>(id));
                rows.appendShapeBytes(bytes.data(), bytes.size());
            }
            rows.endRow(search::FloatBox::around({double(id), 0, double(id) + 1, 1}));
        }
        return rows;
    };
    auto expectRows = [](const StoreRows& rows, const std::vector<long long>& want) {
        ASSERT_EQ(rows.ids, want);
        for (size_t row = 0; row < rows.count(); ++row) {
            const long long id = rows.ids[row];
            EXPECT_EQ(rows.columns[0].at(row).toLongLong(), id * 10);
            EXPECT_EQ(rows.boxes[row].widened().xmin, double(id));
            ASSERT_EQ(rows.hasGeometry(row), id % 5 != 0) << id;
            size_t size = 0;
            const unsigned char* shape = rows.wkb(row, size);
            ASSERT_EQ(size, id % 5 ? static_cast<size_t>(id % 3 + 1) : 0u) << id;
            for (size_t i = 0; i < size; ++i) {
                EXPECT_EQ(shape[i], static_cast<unsigned char>(id)) << id;
            }
        }
    };
    // Halves taken over as a block, then sorted.
    StoreRows rows = part({7, 3, 12, 5, 1});
    rows.append(part({11, 2, 9, 4}));
    rows.sortById();
    expectRows(rows, {1, 2, 3, 4, 5, 7, 9, 11, 12});
    // Sorted rows take a further part (copied) and a row of their own, and
    // sort again.
    rows.append(part({8, 6, 10}));
    rows.ids.push_back(13);
    rows.columns[0].append(QVariant(130));
    const unsigned char last[] = {13, 13};
    rows.appendShapeBytes(last, 2);
    rows.endRow(search::FloatBox::around({13, 0, 14, 1}));
    rows.sortById();
    expectRows(rows, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
    // A sorted part taken over by unsorted rows.
    StoreRows head = part({20, 14});
    StoreRows sorted = part({17, 15, 16});
    sorted.sortById();
    head.append(std::move(sorted));
    head.sortById();
    expectRows(head, {14, 15, 16, 17, 20});
}
