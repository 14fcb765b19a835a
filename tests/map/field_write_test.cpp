// Writing field values through update cursors: conversion to the field's
// type, and one edit per build that is committed or rolled back whole.
#include "map/qgis/features/qgis_feature_class.h"
#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/features/value_conversion.h"
#include "map/qgis/writing/geopackage_update.h"
#include "tests/testing/test_maps.h"

#include <gdal.h>
#include <qgsfeatureiterator.h>
#include <qgsvectorfilewriter.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>

#include <sqlite3.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace bramlotte;
using bramlotte::testmaps::memoryLayer;

namespace {

const QString kAll = QStringLiteral("POLYGON((-1 -1,100 -1,100 100,-1 100,-1 -1))");

std::shared_ptr<const host::Shape> everywhere() {
    return std::make_shared<qgishost::QgisShape>(QgsGeometry::fromWkt(kAll),
                                                 QgsCoordinateReferenceSystem("EPSG:32632"));
}

// A GeoPackage of three streets in a folder of its own, opened as a layer:
// name, a short text field, an integer field.
struct StreetsFile {
    static std::unique_ptr<QgsVectorLayer> write(const QString& path) {
        auto memory = memoryLayer("streets", "LineString",
                                  {"name:string(20)", "pages:string(8)", "n:integer"},
                                  {{"LINESTRING(1 1,2 2)", {"Main St", "old", 1}},
                                   {"LINESTRING(3 3,4 4)", {"Oak Ave", "old", 2}},
                                   {"LINESTRING(5 5,6 6)", {"Elm St", "old", 3}}});
        return testmaps::writeGeoPackage(*memory, path, "streets");
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("s.gpkg");
    std::unique_ptr<QgsVectorLayer> layer = write(path);
    qgishost::QgisFeatureClass fc{*layer};
};

// Column `field` of a freshly opened copy of the file: what is really saved.
QStringList savedColumn(const QString& path, const QString& field) {
    QgsVectorLayer layer(path + "|layername=streets", "check", "ogr");
    QStringList values;
    QgsFeature f;
    auto it = layer.getFeatures();
    while (it.nextFeature(f)) {
        values << f.attribute(field).toString();
    }
    return values;
}

// Puts `text` into field `index` of every feature through one update cursor.
void writeAll(host::FeatureClass& fc, int index, const QStringList& texts) {
    auto cursor = fc.update({everywhere(), host::relation::kIntersects, fc.shapeFieldName()});
    for (const QString& text : texts) {
        auto f = cursor->nextFeature();
        ASSERT_TRUE(f);
        f->putValue(index, text);
        cursor->updateFeature(*f);
    }
}

// Runs `sql` on the file; gives the first column of its rows.
QStringList sqlRows(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    QStringList rows;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        }
    }
    EXPECT_EQ(sqlite3_finalize(st), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    return rows;
}

}  // namespace

TEST(FieldWrite, CommittedValuesReachTheFileAndLaterSearches) {
    StreetsFile file;
    const QString& path = file.path;
    qgishost::QgisFeatureClass& fc = file.fc;
    const int pages = fc.findField("pages");
    {
        auto edit = fc.beginTransaction();
        writeAll(fc, pages, {" A1", "", QString::fromUtf8(" Ç3, 東4")});
        // Not saved before the commit.
        EXPECT_EQ(savedColumn(path, "pages"), (QStringList{"old", "old", "old"}));
        edit->commit();
    }
    EXPECT_EQ(savedColumn(path, "pages"), (QStringList{" A1", "", QString::fromUtf8(" Ç3, 東4")}));
    EXPECT_EQ(sqlRows(path, "SELECT count(*) FROM streets WHERE pages = ''"), QStringList{"1"});
    auto cursor = fc.search({everywhere(), host::relation::kIntersects, QString()});
    EXPECT_EQ(cursor->nextFeature()->value(pages).toString(), " A1");
}

TEST(FieldWrite, OnlyTheWrittenFeaturesChangeAndAllMustStillExist) {
    StreetsFile file;
    const QString& path = file.path;
    qgishost::QgisFeatureClass& fc = file.fc;
    const int pages = fc.findField("pages");
    const auto middle = std::make_shared<qgishost::QgisShape>(
        QgsGeometry::fromWkt("POLYGON((2.5 2.5,4.5 2.5,4.5 4.5,2.5 4.5,2.5 2.5))"),
        QgsCoordinateReferenceSystem("EPSG:32632"));
    {
        auto edit = fc.beginTransaction();
        auto cursor = fc.update({middle, host::relation::kIntersects, QString()});
        auto oak = cursor->nextFeature();
        oak->putValue(pages, " B2");
        cursor->updateFeature(*oak);
        oak->putValue(pages, " B2, C3");  // the last write wins
        cursor->updateFeature(*oak);
        EXPECT_FALSE(cursor->nextFeature());
        edit->commit();
    }
    EXPECT_EQ(savedColumn(path, "pages"), (QStringList{"old", " B2, C3", "old"}));

    // A feature deleted by someone else before the commit: nothing is saved.
    {
        auto edit = fc.beginTransaction();
        writeAll(fc, pages, {" X", " Y", " Z"});
        QgsVectorLayer other(path + "|layername=streets", "other", "ogr");
        QgsFeature elm;
        other.getFeatures(QgsFeatureRequest().setFilterExpression("name = 'Elm St'"))
            .nextFeature(elm);
        ASSERT_TRUE(other.dataProvider()->deleteFeatures({elm.id()}));
        try {
            edit->commit();
            ADD_FAILURE() << "the commit went through";
        } catch (const support::Failure& e) {
            EXPECT_TRUE(e.description().contains("no longer in the table"))
                << e.description().toStdString();
        }
    }
    EXPECT_EQ(savedColumn(path, "pages"), (QStringList{"old", " B2, C3"}));

    // The layer's data changing under the open edit drops its values.
    {
        auto edit = fc.beginTransaction();
        writeAll(fc, pages, {" X", " Y"});
        emit file.layer->dataChanged();
        EXPECT_THROW(edit->commit(), support::Failure);
    }
    EXPECT_EQ(savedColumn(path, "pages"), (QStringList{"old", " B2, C3"}));
}

TEST(FieldWrite, ASpatialIndexTriggerIsSetAsideButAUsersTriggerStillRuns) {
    StreetsFile file;
    const QString sqlOf = "SELECT sql FROM sqlite_master WHERE name = '%1'";
    // The triggers GDAL gives every GeoPackage table, as the file has them.
    for (const char* idle : {"rtree_streets_geom_update3", "rtree_streets_geom_update4"}) {
        const QStringList sql = sqlRows(file.path, sqlOf.arg(idle));
        ASSERT_EQ(sql.size(), 1) << idle;
        EXPECT_TRUE(qgishost::idleWhileIdsStay(sql.first(), idle, "streets", "fid")) << idle;
        EXPECT_FALSE(qgishost::idleWhileIdsStay(sql.first(), idle, "streets", "name")) << idle;
    }
    auto idle = [](const char* sql) {
        return qgishost::idleWhileIdsStay(sql, "t1", "streets", "fid");
    };
    EXPECT_TRUE(
        idle("CREATE TRIGGER t1 AFTER UPDATE ON streets FOR EACH ROW\n"
             "  WHEN old.fid != new.fid AND (f(new.geom) > 0) BEGIN SELECT 1; END"));
    // Anything that could act with the ids unchanged counts as acting.
    EXPECT_FALSE(
        idle("CREATE TRIGGER t1 AFTER UPDATE ON streets "
             "WHEN old.fid != new.fid AND (1) OR 1 BEGIN SELECT 1; END"));
    EXPECT_FALSE(
        idle("CREATE TRIGGER t1 BEFORE UPDATE ON streets "
             "WHEN old.fid != new.fid AND (1) BEGIN SELECT 1; END"));
    EXPECT_FALSE(
        idle("CREATE TRIGGER t1 AFTER UPDATE ON streets "
             "WHEN old.fid != new.fid AND (name = ')' OR 1) BEGIN SELECT 1; END"));
    EXPECT_FALSE(idle("CREATE TRIGGER t1 AFTER UPDATE ON streets BEGIN SELECT 1; END"));
    EXPECT_FALSE(
        idle("CREATE TRIGGER t1 AFTER UPDATE ON other "
             "WHEN old.fid != new.fid AND (1) BEGIN SELECT 1; END"));

    // A trigger of the user's own runs for every value written, and the
    // spatial index still holds every street.
    sqlRows(file.path, "CREATE TABLE audit(fid INTEGER, pages TEXT)");
    sqlRows(file.path,
            "CREATE TRIGGER audit_pages AFTER UPDATE OF pages ON streets "
            "BEGIN INSERT INTO audit VALUES (new.fid, new.pages); END");
    const int pages = file.fc.findField("pages");
    {
        auto edit = file.fc.beginTransaction();
        writeAll(file.fc, pages, {" A1", " B2", " C3"});
        edit->commit();
    }
    EXPECT_EQ(sqlRows(file.path, "SELECT pages FROM audit ORDER BY fid"),
              (QStringList{" A1", " B2", " C3"}));
    EXPECT_EQ(sqlRows(file.path, "SELECT count(*) FROM rtree_streets_geom"), QStringList{"3"});

    // Without it, the values are written with the index's triggers set aside.
    sqlRows(file.path, "DROP TRIGGER audit_pages");
    {
        auto edit = file.fc.beginTransaction();
        writeAll(file.fc, pages, {" D4", " E5", " F6"});
        edit->commit();
    }
    EXPECT_EQ(savedColumn(file.path, "pages"), (QStringList{" D4", " E5", " F6"}));
    EXPECT_EQ(sqlRows(file.path, "SELECT count(*) FROM audit"), QStringList{"3"});
    EXPECT_EQ(
        sqlRows(file.path, "SELECT count(*) FROM rtree_streets_geom WHERE minx >= 1 AND maxx <= 6"),
        QStringList{"3"});
}

TEST(FieldWrite, EveryThirdOfManyFeaturesGetsItsOwnValue) {
    std::vector<testmaps::Row> rows;
    for (int i = 0; i < 60; ++i) {
        rows.push_back(
            {QStringLiteral("LINESTRING(%1 0,%1 1)").arg(i), {QStringLiteral("s%1").arg(i)}});
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("many.gpkg");
    auto memory = memoryLayer("streets", "LineString", {"name:string", "pages:string"}, rows);
    auto layer = testmaps::writeGeoPackage(*memory, path, "streets");
    qgishost::QgisFeatureClass fc(*layer);
    const int name = fc.findField("name"), pages = fc.findField("pages");
    QStringList expected;
    {
        auto edit = fc.beginTransaction();
        auto cursor = fc.update({everywhere(), host::relation::kIntersects, QString()});
        while (auto f = cursor->nextFeature()) {
            const QString own = f->value(name).toString();
            const bool write = own.mid(1).toInt() % 3 == 1;
            if (write) {
                f->putValue(pages, " P" + own);
                cursor->updateFeature(*f);
            }
            expected << (write ? " P" + own : QString());
        }
        edit->commit();
    }
    EXPECT_EQ(savedColumn(path, "pages"), expected);
}

TEST(FieldWrite, AnEditEndedWithoutCommitLeavesTheFileAsItWas) {
    StreetsFile file;
    const QString& path = file.path;
    qgishost::QgisFeatureClass& fc = file.fc;
    const int n = fc.findField("n");
    {
        auto edit = fc.beginTransaction();
        auto cursor = fc.update({everywhere(), host::relation::kIntersects, QString()});
        auto first = cursor->nextFeature();
        first->putValue(n, " 42");
        cursor->updateFeature(*first);
        auto second = cursor->nextFeature();
        // The conversion refuses before anything is stored.
        EXPECT_THROW(second->putValue(n, " A1"), support::Failure);
    }  // no commit: rolled back
    EXPECT_EQ(savedColumn(path, "n"), (QStringList{"1", "2", "3"}));
    auto cursor = fc.search({everywhere(), host::relation::kIntersects, QString()});
    EXPECT_EQ(cursor->nextFeature()->value(n).toInt(), 1);
    // A new edit can start after the rollback.
    EXPECT_NO_THROW(fc.beginTransaction());
}

TEST(FieldWrite, InAUsersEditSessionValuesJoinTheEditBufferUnsaved) {
    StreetsFile file;
    const QString& path = file.path;
    auto& layer = file.layer;
    ASSERT_TRUE(layer->startEditing());
    qgishost::QgisFeatureClass& fc = file.fc;
    {
        auto edit = fc.beginTransaction();
        writeAll(fc, fc.findField("pages"), {" X", " Y", " Z"});
        edit->commit();
    }
    EXPECT_EQ(savedColumn(path, "pages"), (QStringList{"old", "old", "old"}));
    EXPECT_TRUE(layer->isModified());
    ASSERT_TRUE(layer->commitChanges());
    EXPECT_EQ(savedColumn(path, "pages"), (QStringList{" X", " Y", " Z"}));
}

TEST(FieldWrite, TextConvertsToTheFieldsTypeOrIsRefusedWhole) {
    QLocale::setDefault(QLocale::c());
    const QgsField text("t", QVariant::String, "text", 5);
    const QgsField whole("i", QVariant::Int, "integer");
    const QgsField big("l", QVariant::LongLong, "integer64");
    const QgsField real("r", QVariant::Double, "real");
    const QgsField date("d", QVariant::Date, "date");
    const QgsField unbounded("u", QVariant::String, "text", 0);

    EXPECT_EQ(qgishost::convertForField(text, " A1"), QVariant(" A1"));
    EXPECT_EQ(qgishost::convertForField(text, "12345"), QVariant("12345"));
    EXPECT_THROW(qgishost::convertForField(text, "123456"), support::Failure);
    EXPECT_EQ(qgishost::convertForField(unbounded, QString(300, 'x')).toString().size(), 300);

    EXPECT_EQ(qgishost::convertForField(whole, " 12"), QVariant(12));
    EXPECT_THROW(qgishost::convertForField(whole, " A1"), support::Failure);
    EXPECT_THROW(qgishost::convertForField(whole, " 1, 2"), support::Failure);
    EXPECT_THROW(qgishost::convertForField(whole, "3000000000"), support::Failure);
    EXPECT_THROW(qgishost::convertForField(whole, ""), support::Failure);
    EXPECT_EQ(qgishost::convertForField(big, "3000000000"), QVariant(3000000000LL));

    EXPECT_DOUBLE_EQ(qgishost::convertForField(real, " 2.5").toDouble(), 2.5);
    EXPECT_THROW(qgishost::convertForField(real, "two"), support::Failure);

    EXPECT_EQ(qgishost::convertForField(date, "2024-02-29"), QVariant(QDate(2024, 2, 29)));
    EXPECT_THROW(qgishost::convertForField(date, "2023-02-29"), support::Failure);

    try {
        qgishost::convertForField(whole, " A1");
        FAIL();
    } catch (const support::Failure& e) {
        EXPECT_LT(e.number(), 0);
        EXPECT_TRUE(e.description().contains("\" A1\"")) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains("i")) << e.description().toStdString();
    }
}

TEST(FieldWrite, AShapefileGetsAWholeNewTableAndKeepsItsShapesAndSpatialIndex) {
    QTemporaryDir dir;
    const QString shp = dir.filePath("streets.shp");
    {
        auto memory = memoryLayer("streets", "LineString", {"name:string(20)", "pages:string(30)"},
                                  {{"LINESTRING(1 1,2 2)", {"Main St", "old"}},
                                   {"LINESTRING(3 3,4 4)", {"Oak Ave", "old"}},
                                   {"LINESTRING(5 5,6 6)", {"Elm St", "old"}}});
        QgsVectorFileWriter::SaveVectorOptions options;
        options.driverName = "ESRI Shapefile";
        options.fileEncoding = "UTF-8";  // a .cpg beside the table
        ASSERT_EQ(QgsVectorFileWriter::writeAsVectorFormatV3(
                      memory.get(), shp, QgsCoordinateTransformContext(), options),
                  QgsVectorFileWriter::NoError);
        GDALDatasetH ds = GDALOpenEx(QFile::encodeName(shp).constData(),
                                     GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr);
        ASSERT_TRUE(ds);
        GDALDatasetReleaseResultSet(
            ds, GDALDatasetExecuteSQL(ds, "CREATE SPATIAL INDEX ON streets", nullptr, nullptr));
        GDALClose(ds);
    }
    const QString dbf = dir.filePath("streets.dbf");
    ::chmod(QFile::encodeName(dbf).constData(), 0640);
    QMap<QString, QByteArray> before;
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::ReadOnly);
        before[name] = f.readAll();
    }
    ASSERT_TRUE(before.contains("streets.qix") && before.contains("streets.cpg"));

    // Two layers of one project read the file.
    QgsProject project;
    auto* layer = new QgsVectorLayer(shp, "streets", "ogr");
    auto* other = new QgsVectorLayer(shp, "other", "ogr");
    project.addMapLayers({layer, other});
    qgishost::QgisFeatureClass fc(*layer);
    const int pages = fc.findField("pages");
    {
        auto edit = fc.beginTransaction();
        writeAll(fc, pages, {"A1", QString::fromUtf8("Ç3, 東4")});
        EXPECT_EQ(QFile(dbf).size(), before["streets.dbf"].size());
        edit->commit();
    }
    const QStringList expected{"A1", QString::fromUtf8("Ç3, 東4"), "old"};
    auto column = [&](QgsVectorLayer& l) {
        QStringList values;
        QgsFeature f;
        for (auto it = l.getFeatures(); it.nextFeature(f);) {
            values << f.attribute("pages").toString();
        }
        return values;
    };
    QgsVectorLayer reopened(shp, "reopened", "ogr");
    EXPECT_EQ(column(reopened), expected);
    EXPECT_EQ(column(*layer), expected);  // without opening the file anew
    EXPECT_EQ(column(*other), expected);
    auto cursor = fc.search({everywhere(), host::relation::kIntersects, QString()});
    EXPECT_EQ(cursor->nextFeature()->value(pages).toString(), "A1");

    // Only the table changed: shapes, index, code page as they were; the
    // table's mode kept; nothing left beside them.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList(before.keys()));
    for (const QString& name : before.keys()) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::ReadOnly);
        EXPECT_EQ(f.readAll() == before[name], name != "streets.dbf") << name.toStdString();
    }
    struct stat st {};
    ::stat(QFile::encodeName(dbf).constData(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
