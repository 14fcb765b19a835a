// On real OpenStreetMap data: pages by street name, checked against a
// brute-force GEOS test of every street-page pair.
#include "index/relate.h"
#include "tests/testing/test_maps.h"

#include <qgsfeatureiterator.h>
#include <qgsgeometryengine.h>

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace bramlotte;

TEST(MonacoIndex, EveryStreetsPagesEqualABruteForceJoin) {
    auto monaco = testmaps::openSharedMap("monaco.gpkg");
    if (!monaco) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QgsProject& project = monaco->project;
    std::unique_ptr<host::Layer>& pages = monaco->pages;
    std::unique_ptr<host::Layer>& streets = monaco->streets;
    ASSERT_TRUE(pages && streets);
    index::RelateInputs in;
    in.layer1 = pages->asFeatureLayer();
    in.field1 = in.layer1->featureClass()->findField("PAGE");
    in.layer2 = streets->asFeatureLayer();
    in.field2 = in.layer2->featureClass()->findField("name");
    const index::IndexMap index = index::Relate(in, nullptr);

    // Brute force, straight from QGIS and GEOS.
    auto* pagesQgs = qobject_cast<QgsVectorLayer*>(project.mapLayersByName("pages").value(0));
    auto* streetsQgs = qobject_cast<QgsVectorLayer*>(project.mapLayersByName("streets").value(0));
    std::vector<QgsFeature> streetFeatures;
    QgsFeature f;
    for (auto it = streetsQgs->getFeatures(); it.nextFeature(f);) {
        streetFeatures.push_back(f);
    }
    std::map<QString, std::set<QString>> expected;
    for (auto it = pagesQgs->getFeatures(); it.nextFeature(f);) {
        std::unique_ptr<QgsGeometryEngine> engine(
            QgsGeometry::createGeometryEngine(f.geometry().constGet()));
        engine->prepareGeometry();
        for (const QgsFeature& s : streetFeatures) {
            const QString name = s.attribute("name").toString();
            if (!name.trimmed().isEmpty() && s.hasGeometry() &&
                engine->intersects(s.geometry().constGet())) {
                expected[name].insert(f.attribute("PAGE").toString());
            }
        }
    }
    ASSERT_EQ(index.count(), static_cast<int>(expected.size()));
    for (int i = 0; i < index.count(); ++i) {
        std::set<QString> got;
        for (const QString& item : index.itemsAt(i)) {
            got.insert(item.mid(1));
        }
        EXPECT_EQ(got, expected[index.key(i)]) << index.key(i).toStdString();
        EXPECT_EQ(got.size(), static_cast<size_t>(index.itemsAt(i).size()));
    }
    EXPECT_GT(index.count(), 300);
}
