// The focus map as the layer tree shows it: top-level nodes in order, groups
// with their members, feature layers and layers of other kinds; fields of the
// layer table view and of the feature class.
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/program/map_opener.h"
#include "tests/testing/test_maps.h"

#include <qgslayertree.h>
#include <qgslayertreegroup.h>
#include <qgsproviderregistry.h>
#include <qgsprovidersublayerdetails.h>
#include <qgsvectorlayerjoininfo.h>

#include <QFile>

#include <gtest/gtest.h>

using namespace bramlotte;
using bramlotte::testmaps::memoryLayer;

namespace {

QStringList fieldNames(const host::Fields& fields) {
    QStringList names;
    for (int i = 0; i < fields.fieldCount(); ++i) {
        names << fields.fieldName(i);
    }
    return names;
}

// Describes the tree: "F:name" feature layer, "G:name[...]" group, "O:name" other.
QString describe(host::Layer& layer) {
    if (auto* g = layer.asGroupLayer()) {
        QStringList members;
        for (int16_t i = 0; i < g->memberCount(); ++i) {
            members << describe(*g->member(i));
        }
        return QStringLiteral("G:%1[%2]").arg(g->name(), members.join(','));
    }
    return (layer.asFeatureLayer() ? QStringLiteral("F:") : QStringLiteral("O:")) + layer.name();
}

}  // namespace

TEST(LayerWalk, TopLevelNodesGroupsAndKindsInTreeOrder) {
    QgsProject project;
    auto add = [&](std::unique_ptr<QgsVectorLayer> l, QgsLayerTreeGroup* group) {
        QgsVectorLayer* raw = l.get();
        project.addMapLayer(l.release(), false);
        (group ? group : project.layerTreeRoot())->addLayer(raw);
    };
    add(memoryLayer("streets", "LineString", {"name:string"}, {}), nullptr);
    add(memoryLayer("table", "None", {"name:string"}, {}), nullptr);
    QgsLayerTreeGroup* atlas = project.layerTreeRoot()->addGroup("atlas");
    add(memoryLayer("pages", "Polygon", {"PAGE:string"}, {}), atlas);
    QgsLayerTreeGroup* inner = atlas->addGroup("inner");
    add(memoryLayer("hidden", "Point", {}, {}), inner);
    add(memoryLayer("Streets", "LineString", {}, {}), atlas);

    qgishost::QgisMapDocument document(project);
    auto map = document.focusMap();
    ASSERT_EQ(map->layerCount(), 3);
    QStringList seen;
    for (int i = 0; i < map->layerCount(); ++i) {
        seen << describe(*map->layer(i));
    }
    EXPECT_EQ(seen, (QStringList{"F:streets", "O:table",
                                 "G:atlas[F:pages,G:inner[F:hidden],F:Streets]"}));
    EXPECT_THROW(map->layer(3), support::Failure);
}

TEST(LayerWalk, TableViewShowsJoinedAndVirtualFieldsTheFeatureClassDoesNot) {
    QgsProject project;
    auto streets = memoryLayer("streets", "LineString", {"name:string", "code:integer"},
                               {{"LINESTRING(0 0, 1 1)", {"Main St", 1}}});
    auto codes = memoryLayer("codes", "None", {"code:integer", "label:string"}, {{"", {1, "one"}}});
    QgsVectorLayer* s = streets.get();
    QgsVectorLayer* c = codes.get();
    project.addMapLayer(streets.release());
    project.addMapLayer(codes.release(), false);
    QgsVectorLayerJoinInfo join;
    join.setJoinLayer(c);
    join.setJoinFieldName("code");
    join.setTargetFieldName("code");
    join.setPrefix("j_");
    ASSERT_TRUE(s->addJoin(join));
    s->addExpressionField("upper(\"name\")", QgsField("loud", QVariant::String));

    qgishost::QgisMapDocument document(project);
    auto layer = document.focusMap()->layer(0);
    host::FeatureLayer* fl = layer->asFeatureLayer();
    ASSERT_NE(fl, nullptr);
    EXPECT_EQ(fieldNames(*fl->tableView()), (QStringList{"name", "code", "j_label", "loud"}));
    auto fc = fl->featureClass();
    EXPECT_EQ(fieldNames(*fc), (QStringList{"name", "code"}));
    EXPECT_EQ(fc->findField("NAME"), 0);
    EXPECT_EQ(fc->findField("Code"), 1);
    EXPECT_EQ(fc->findField("loud"), -1);
    EXPECT_EQ(fc->findField("missing"), -1);
    EXPECT_EQ(fc->featureCount(), 1);

    // The layer search honours the layer's filter.
    s->setSubsetString("\"code\" = 2");
    EXPECT_EQ(fl->search()->nextFeature(), nullptr);
    EXPECT_EQ(fc->featureCount(), 0);
}

TEST(LayerWalk, LayerSearchGivesValuesByFeatureClassIndexAndNullsAsNull) {
    QgsProject project;
    project.addMapLayer(memoryLayer("pages", "Polygon", {"PAGE:string", "N:integer"},
                                    {{"POLYGON((0 0,1 0,1 1,0 1,0 0))", {"A1", 3}},
                                     {"", {QVariant(), QVariant()}},
                                     {"POLYGON((1 0,2 0,2 1,1 1,1 0))", {"", 0}}})
                            .release());
    qgishost::QgisMapDocument document(project);
    auto layer = document.focusMap()->layer(0);
    auto cursor = layer->asFeatureLayer()->search();
    auto f1 = cursor->nextFeature();
    auto f2 = cursor->nextFeature();
    auto f3 = cursor->nextFeature();
    ASSERT_TRUE(f1 && f2 && f3);
    EXPECT_EQ(cursor->nextFeature(), nullptr);
    EXPECT_EQ(f1->value(0).toString(), "A1");
    EXPECT_EQ(f1->value(1).toInt(), 3);
    EXPECT_TRUE(f2->value(0).isNull());
    EXPECT_TRUE(f2->shape()->isEmpty());
    EXPECT_FALSE(f3->value(0).isNull());
    EXPECT_EQ(f3->value(0).toString(), "");
    EXPECT_THROW(f1->value(2), support::Failure);
    EXPECT_THROW(f1->putValue(0, "x"), support::Failure);
}

TEST(LayerWalk, ALayerReadAheadGivesEveryFeatureInOrderAndCanStopEarly) {
    // Several batches of features: the reader must wait for the walk and
    // hand over every feature once, in the layer's order.
    std::vector<testmaps::Row> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.push_back({QStringLiteral("POINT(%1 0)").arg(i), {i}});
    }
    QgsProject project;
    project.addMapLayer(memoryLayer("points", "Point", {"n:integer"}, rows).release());
    qgishost::QgisMapDocument document(project);
    auto layer = document.focusMap()->layer(0);
    {
        auto cursor = layer->asFeatureLayer()->search();
        int expected = 0;
        while (auto f = cursor->nextFeature()) {
            ASSERT_EQ(f->value(0).toInt(), expected++);
        }
        EXPECT_EQ(expected, 3000);
        EXPECT_EQ(cursor->nextFeature(), nullptr);
    }
    // A walk that stops early ends its reader (the test would hang if not).
    for (int taken : {0, 1, 700}) {
        auto cursor = layer->asFeatureLayer()->search();
        for (int i = 0; i < taken; ++i) {
            ASSERT_EQ(cursor->nextFeature()->value(0).toInt(), i);
        }
    }
}

TEST(LayerWalk, OpensDatasetsAsTopLevelLayersAndRefusesBadMaps) {
    QTemporaryDir dir;
    const QString gpkg = dir.filePath("two.gpkg");
    auto a = memoryLayer("a", "Point", {"x:integer"}, {{"POINT(1 1)", {1}}});
    auto b = memoryLayer("b", "LineString", {"y:string"}, {});
    testmaps::writeGeoPackage(*a, gpkg, "alpha");
    testmaps::writeGeoPackage(*b, gpkg, "beta");

    QgsProject project;
    qgishost::openMap(project, {gpkg});
    qgishost::QgisMapDocument document(project);
    auto map = document.focusMap();
    ASSERT_EQ(map->layerCount(), 2);
    EXPECT_EQ(map->layer(0)->name(), "alpha");
    EXPECT_EQ(map->layer(1)->name(), "beta");

    QgsProject other;
    EXPECT_THROW(qgishost::openMap(other, {dir.filePath("missing.gpkg")}), support::Failure);
    QFile junk(dir.filePath("junk.gpkg"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a map");
    junk.close();
    EXPECT_THROW(qgishost::openMap(other, {junk.fileName()}), support::Failure);
    EXPECT_THROW(qgishost::openMap(other, {}), support::Failure);
}

// A command-line session opens GeoPackages and shapefiles without QGIS's
// provider plugins: no plugin may yield a layer of them that QGIS's own
// providers do not (this test's session has every plugin loaded).
TEST(LayerWalk, GeoPackagesAndShapefilesYieldLayersOfQgisOwnProvidersOnly) {
    QTemporaryDir dir;
    const QString gpkg = dir.filePath("two.gpkg");
    auto a = memoryLayer("a", "Point", {"x:integer"}, {{"POINT(1 1)", {1}}});
    auto b = memoryLayer("b", "LineString", {"y:string"}, {{"LINESTRING(0 0,1 1)", {"s"}}});
    testmaps::writeGeoPackage(*a, gpkg, "alpha");
    testmaps::writeGeoPackage(*b, gpkg, "beta");
    const QString shp = dir.filePath("lines.shp");
    ASSERT_TRUE(testmaps::writeShapefile(*b, shp));

    QgsProviderRegistry* registry = QgsProviderRegistry::instance();
    ASSERT_TRUE(registry->providerList().contains(QStringLiteral("postgres")));  // plugins loaded
    const QStringList own = {"ogr", "gdal", "memory", "mesh_memory", "vectortile", "ept"};
    for (const QString& path : {gpkg, shp}) {
        const QList<QgsProviderSublayerDetails> sublayers = registry->querySublayers(path);
        EXPECT_FALSE(sublayers.isEmpty()) << path.toStdString();
        for (const QgsProviderSublayerDetails& sublayer : sublayers) {
            EXPECT_TRUE(own.contains(sublayer.providerKey()))
                << path.toStdString() << ": " << sublayer.providerKey().toStdString();
        }
    }
}

TEST(LayerWalk, ReadsAProjectFileWithGroups) {
    QTemporaryDir dir;
    const QString gpkg = dir.filePath("m.gpkg");
    auto a = memoryLayer("a", "Point", {"x:integer"}, {{"POINT(1 1)", {1}}});
    auto la = testmaps::writeGeoPackage(*a, gpkg, "alpha");
    {
        QgsProject project;
        QgsVectorLayer* raw = la.release();
        project.addMapLayer(raw, false);
        project.layerTreeRoot()->addGroup("g")->addLayer(raw);
        ASSERT_TRUE(project.write(dir.filePath("p.qgz")));
    }
    QgsProject project;
    qgishost::openMap(project, {dir.filePath("p.qgz")});
    qgishost::QgisMapDocument document(project);
    auto map = document.focusMap();
    ASSERT_EQ(map->layerCount(), 1);
    EXPECT_EQ(describe(*map->layer(0)), "G:g[F:alpha]");
}

TEST(LayerWalk, OnlyProjectsThatMayNeedStoredCredentialsStartAuthentication) {
    QTemporaryDir dir;
    // A project QGIS wrote, of a GeoPackage layer and a memory layer.
    const QString gpkg = dir.filePath("m.gpkg");
    auto a = memoryLayer("a", "Point", {"x:integer"}, {{"POINT(1 1)", {1}}});
    {
        QgsProject project;
        project.addMapLayer(testmaps::writeGeoPackage(*a, gpkg, "alpha").release());
        project.addMapLayer(memoryLayer("m", "Point", {"x:integer"}, {}).release());
        ASSERT_TRUE(project.write(dir.filePath("files.qgs")));
        ASSERT_TRUE(project.write(dir.filePath("files.qgz")));
    }
    EXPECT_FALSE(qgishost::projectNeedsAuthentication(dir.filePath("files.qgs")));
    EXPECT_TRUE(qgishost::projectNeedsAuthentication(dir.filePath("files.qgz")));  // unread
    // PostgreSQL layers, with or without stored credentials; other providers;
    // an embedded project.
    auto project = [&](const QString& name, const QString& provider, const QString& source,
                       const QString& groupAttributes = QString()) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            QStringLiteral("<qgis><layer-tree-group><layer-tree-group name=\"g\" %4/>"
                           "<layer-tree-layer providerKey=\"%1\" source=\"%2\"/>"
                           "</layer-tree-group><projectlayers><maplayer>"
                           "<datasource>%3</datasource><provider encoding=\"\">%1</provider>"
                           "</maplayer></projectlayers></qgis>")
                .arg(provider, source.toHtmlEscaped(), source.toHtmlEscaped(), groupAttributes)
                .toUtf8());
        return path;
    };
    const QString table = QStringLiteral("dbname='atlas' host=db key='fid' table=\"public\".\"s\"");
    EXPECT_FALSE(qgishost::projectNeedsAuthentication(project("pg.qgs", "postgres", table)));
    EXPECT_TRUE(qgishost::projectNeedsAuthentication(
        project("stored.qgs", "postgres", table + QStringLiteral(" authcfg=x1y2z3a"))));
    EXPECT_TRUE(qgishost::projectNeedsAuthentication(
        project("wfs.qgs", "WFS", QStringLiteral("url='https://example.org/wfs'"))));
    EXPECT_TRUE(qgishost::projectNeedsAuthentication(
        project("embedded.qgs", "postgres", table, "embedded=\"1\" project=\"other.qgs\"")));
    EXPECT_TRUE(qgishost::projectNeedsAuthentication(dir.filePath("missing.qgs")));
}
