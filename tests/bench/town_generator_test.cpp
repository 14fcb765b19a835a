// The synthetic towns: exact sizes, deterministic from the seed, pages
// lettered from the north, names with the quirks of real data.
#include "bench/town_generator.h"
#include "tests/testing/test_maps.h"

#include <qgsfeatureiterator.h>
#include <qgsvectorlayer.h>

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

#include <set>

using namespace bramlotte;

namespace {

QByteArray layerDigest(const QString& path, const QString& table) {
    QgsVectorLayer layer(path + "|layername=" + table, table, "ogr");
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QgsFeature f;
    auto it = layer.getFeatures();
    while (it.nextFeature(f)) {
        hash.addData(f.geometry().asWkt(3).toUtf8());
        for (const QVariant& v : f.attributes()) {
            hash.addData(v.isNull() ? QByteArray("<null>") : v.toString().toUtf8());
        }
    }
    return hash.result();
}

}  // namespace

TEST(TownGenerator, RowLettersRunLikeSpreadsheetColumns) {
    EXPECT_EQ(bench::rowLetters(0), "A");
    EXPECT_EQ(bench::rowLetters(25), "Z");
    EXPECT_EQ(bench::rowLetters(26), "AA");
    EXPECT_EQ(bench::rowLetters(27), "AB");
    EXPECT_EQ(bench::rowLetters(701), "ZZ");
    EXPECT_EQ(bench::rowLetters(702), "AAA");
}

TEST(TownGenerator, SizesSeedsAndRealisticNames) {
    QTemporaryDir dir;
    bench::TownOptions options;
    options.segments = 3000;
    options.seed = 11;
    const QString a = dir.filePath("a.gpkg"), b = dir.filePath("b.gpkg"),
                  c = dir.filePath("c.gpkg");
    const auto summary = bench::generateTown(a.toStdString(), options);
    EXPECT_EQ(summary.segments, 3000);
    EXPECT_GE(summary.pages, 300);
    EXPECT_LE(summary.pages, 400);
    bench::generateTown(b.toStdString(), options);
    options.seed = 12;
    bench::generateTown(c.toStdString(), options);
    EXPECT_EQ(layerDigest(a, "streets"), layerDigest(b, "streets"));
    EXPECT_NE(layerDigest(a, "streets"), layerDigest(c, "streets"));
    EXPECT_THROW(bench::generateTown(a.toStdString(), options),
                 std::runtime_error);  // no overwrite

    QgsVectorLayer streets(a + "|layername=streets", "streets", "ogr");
    ASSERT_TRUE(streets.isValid());
    EXPECT_EQ(streets.featureCount(), 3000);
    int nulls = 0;
    std::map<QString, int> segmentsPerName;
    QgsFeature f;
    auto it = streets.getFeatures();
    while (it.nextFeature(f)) {
        if (f.attribute("name").isNull()) {
            ++nulls;
        } else {
            ++segmentsPerName[f.attribute("name").toString()];
        }
    }
    EXPECT_GT(nulls, 200);  // about one in ten
    EXPECT_LT(nulls, 400);
    int spread = 0;
    std::set<QString> folded;
    bool caseTwins = false;
    for (const auto& [name, count] : segmentsPerName) {
        spread += count > 1;
        caseTwins |= !folded.insert(name.toLower()).second;
    }
    EXPECT_GT(spread * 2, static_cast<int>(segmentsPerName.size()));  // most names span segments
    EXPECT_TRUE(caseTwins) << "no two names differ only in letter case";

    // Row A is the northernmost row; columns count from the west.
    QgsVectorLayer pages(a + "|layername=pages", "pages", "ogr");
    QgsFeature a1, b1, a2;
    QgsFeatureRequest r;
    ASSERT_TRUE(pages.getFeatures(r.setFilterExpression("\"PAGE\" = 'A1'")).nextFeature(a1));
    ASSERT_TRUE(pages.getFeatures(r.setFilterExpression("\"PAGE\" = 'B1'")).nextFeature(b1));
    ASSERT_TRUE(pages.getFeatures(r.setFilterExpression("\"PAGE\" = 'A2'")).nextFeature(a2));
    EXPECT_GT(a1.geometry().boundingBox().yMinimum(), b1.geometry().boundingBox().yMinimum());
    EXPECT_GT(a2.geometry().boundingBox().xMinimum(), a1.geometry().boundingBox().xMinimum());
    EXPECT_EQ(a1.attribute("PAGE_NO").toInt(), 1);
    EXPECT_TRUE(pages.extent().contains(streets.extent()));
}
