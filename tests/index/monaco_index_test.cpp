// On real OpenStreetMap data: pages by street name, checked against a
// brute-force GEOS test of every street-page pair, and their lines' order.
#include "index/index_formatting.h"
#include "index/relate.h"
#include "tests/testing/locales.h"
#include "tests/testing/test_maps.h"

#include <qgsfeatureiterator.h>
#include <qgsgeometryengine.h>

#include <gtest/gtest.h>

#include <algorithm>
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

// Monaco names three streets twice, in two cases ("Rue de la Pise", "Rue
// De la Pise"): the names come out in one order whichever order the data
// source hands over the streets in, side by side, lowercase first.
TEST(MonacoIndex, StreetsEqualButForCaseInOneOrderWhateverOrderTheyCameIn) {
    auto monaco = testmaps::openSharedMap("monaco.gpkg");
    if (!monaco) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    const testmaps::TestLocale locale("fr_FR.UTF-8");
    if (!locale.available()) {
        GTEST_SKIP() << "the locale fr_FR.UTF-8 cannot be made here";
    }
    testmaps::ScopedEnvironment environment;
    environment.choose(locale);
    index::RelateInputs in;
    in.layer1 = monaco->pages->asFeatureLayer();
    in.field1 = in.layer1->featureClass()->findField("PAGE");
    in.layer2 = monaco->streets->asFeatureLayer();
    in.field2 = in.layer2->featureClass()->findField("name");
    const index::IndexMap map = index::Relate(in, nullptr);
    QStringList names;
    for (int i = 0; i < map.count(); ++i) {
        names << map.key(i);
    }
    QStringList backwards = names;
    std::reverse(backwards.begin(), backwards.end());
    index::ResultList forwardList, backwardList;
    forwardList.add(names);
    backwardList.add(backwards);
    const QStringList& sorted = forwardList.lines();
    EXPECT_EQ(sorted, backwardList.lines());
    EXPECT_EQ(sorted, testmaps::icuOrder(names, "fr"));
    for (const auto& [lower, upper] :
         {std::pair{"Rue de la Pise", "Rue De la Pise"},
          std::pair{"Route de la Turbie", "Route de La Turbie"},
          std::pair{"Avenue du Général de Gaulle", "Avenue du Général De Gaulle"}}) {
        EXPECT_EQ(sorted.indexOf(QString::fromUtf8(upper)),
                  sorted.indexOf(QString::fromUtf8(lower)) + 1)
            << lower;
        EXPECT_GE(sorted.indexOf(QString::fromUtf8(lower)), 0) << lower;
    }
}
