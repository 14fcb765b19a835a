// On real OpenStreetMap data: the search of streets for every page delivers
// exactly what a brute-force GEOS test of every street-page pair delivers.
#include "tests/testing/test_maps.h"

#include <qgsfeatureiterator.h>
#include <qgsgeometryengine.h>
#include <qgsvectorlayer.h>

#include <gtest/gtest.h>

#include <set>

using namespace bramlotte;

TEST(MonacoSearch, IntersectSearchEqualsBruteForceOverEveryPair) {
    auto monaco = testmaps::openSharedMap("monaco.gpkg");
    if (!monaco) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QgsProject& project = monaco->project;
    std::unique_ptr<host::Layer>& streetsLayer = monaco->streets;
    std::unique_ptr<host::Layer>& pagesLayer = monaco->pages;
    ASSERT_TRUE(streetsLayer && pagesLayer);
    auto streets = streetsLayer->asFeatureLayer()->featureClass();

    // Every street's geometry, by its osm_id, read straight from QGIS.
    auto* streetsQgs = qobject_cast<QgsVectorLayer*>(project.mapLayersByName("streets").value(0));
    ASSERT_TRUE(streetsQgs);
    std::vector<std::pair<QgsGeometry, qlonglong>> all;
    QgsFeature f;
    auto it = streetsQgs->getFeatures();
    while (it.nextFeature(f)) {
        all.push_back({f.geometry(), f.id()});
    }
    ASSERT_EQ(all.size(), 2903u);
    const int idField = streets->findField("osm_id");
    ASSERT_GE(idField, 0);
    std::map<qlonglong, QVariant> osmIdOf;
    {
        auto it2 = streetsQgs->getFeatures();
        while (it2.nextFeature(f)) {
            osmIdOf[f.id()] = f.attribute("osm_id");
        }
    }

    const int pageField = pagesLayer->asFeatureLayer()->featureClass()->findField("PAGE");
    auto pages = pagesLayer->asFeatureLayer()->search();
    int pageCount = 0;
    long long pairs = 0;
    while (auto page = pages->nextFeature()) {
        ++pageCount;
        std::multiset<QString> got;
        auto cursor = streets->search(
            {page->shape(), host::relation::kIntersects, streets->shapeFieldName()});
        while (auto s = cursor->nextFeature()) {
            got.insert(s->value(idField).toString());
        }
        // Brute force: a prepared page against every street.
        auto pagesQgs = qobject_cast<QgsVectorLayer*>(project.mapLayersByName("pages").value(0));
        QgsFeature pf;
        std::multiset<QString> want;
        const QString pageName = page->value(pageField).toString();
        QgsFeatureRequest byName;
        byName.setFilterExpression(QStringLiteral("\"PAGE\" = '%1'").arg(pageName));
        auto pit = pagesQgs->getFeatures(byName);
        ASSERT_TRUE(pit.nextFeature(pf));
        std::unique_ptr<QgsGeometryEngine> engine(
            QgsGeometry::createGeometryEngine(pf.geometry().constGet()));
        engine->prepareGeometry();
        for (const auto& [g, fid] : all) {
            if (!g.isNull() && engine->intersects(g.constGet())) {
                want.insert(osmIdOf[fid].toString());
            }
        }
        pairs += static_cast<long long>(want.size());
        EXPECT_EQ(got, want) << "page " << pageName.toStdString();
    }
    EXPECT_EQ(pageCount, 312);
    EXPECT_GT(pairs, 2903);  // streets cross page edges
}
