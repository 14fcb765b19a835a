// Feature ids as real data has them: OpenStreetMap way ids kept as feature
// ids, gaps of 10^9, negative ids, one near 2^62. Ids are names, not
// positions: every output of such a map, on every read path, equals the
// output of the same map numbered 1…n.
#include "bench/town_generator.h"
#include "tests/testing/child_program.h"

#include <gdal.h>
#include <gdal_utils.h>
#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace bramlotte;

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Runs `sql` on the GeoPackage at `path` through GDAL, whose SQL functions
// the GeoPackage's spatial index triggers call.
void execute(const QString& path, const QString& sql) {
    GDALDatasetH ds = GDALOpenEx(path.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    OGRLayerH result = GDALDatasetExecuteSQL(ds, sql.toUtf8().constData(), nullptr, nullptr);
    if (result) {
        GDALDatasetReleaseResultSet(ds, result);
    }
    GDALClose(ds);
}

// Gives the features of `table` the ids real data has: negative ones first,
// then steps of a little over 10^9, the last one near 2^62. The order of the
// ids stays as it was.
void renumber(const QString& path, const QString& table) {
    execute(path, QStringLiteral("UPDATE %1 SET fid = (fid - 500) * 1000000007 + 13").arg(table));
    execute(path, QStringLiteral("UPDATE %1 SET fid = 4611686018427387000 "
                                 "WHERE fid = (SELECT max(fid) FROM %1)")
                      .arg(table));
}

// `table` of the GeoPackage at `from` as the GeoJSON file `to`, ids kept.
void toGeoJson(const QString& from, const QString& table, const QString& to) {
    GDALDatasetH source =
        GDALOpenEx(from.toUtf8().constData(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    const QByteArray name = table.toUtf8();
    char* argv[] = {const_cast<char*>("-f"), const_cast<char*>("GeoJSON"),
                    const_cast<char*>("-preserve_fid"), const_cast<char*>(name.constData()),
                    nullptr};
    GDALVectorTranslateOptions* options = GDALVectorTranslateOptionsNew(argv, nullptr);
    int failed = 0;
    GDALDatasetH out =
        GDALVectorTranslate(to.toUtf8().constData(), nullptr, 1, &source, options, &failed);
    GDALVectorTranslateOptionsFree(options);
    ASSERT_NE(out, nullptr);
    GDALClose(out);
    GDALClose(source);
}

// The values of `field` of `table`, by ascending feature id.
QStringList valuesById(const QString& path, const QString& table, const QString& field) {
    QgsVectorLayer layer(path + "|layername=" + table, table, "ogr");
    std::map<qint64, QString> byId;
    QgsFeature f;
    QgsFeatureIterator it = layer.getFeatures();
    while (it.nextFeature(f)) {
        byId[f.id()] = f.attribute(field).toString();
    }
    QStringList values;
    for (const auto& [id, value] : byId) {
        values << value;
    }
    return values;
}

class RealIdsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        bench::TownOptions options;
        options.segments = 24000;  // beyond the size read in two halves
        options.pagesField = true;
        bench::generateTown(path("dense.gpkg").toStdString(), options);
        QFile::copy(path("dense.gpkg"), path("sparse.gpkg"));
        renumber(path("sparse.gpkg"), "streets");
        renumber(path("sparse.gpkg"), "pages");
    }
    static void TearDownTestSuite() { delete dir_; }
    static QString path(const QString& name) { return dir_->filePath(name); }

    // A build of `maps` (pages, PAGE; streets, name) with `more` options.
    static testrun::ChildEnding build(const QStringList& maps, const QStringList& more) {
        return testrun::runChild(
            BRAMLOTTE_CLI, QStringList{"build"} + maps +
                               QStringList{"--layer1", "pages", "--field1", "PAGE", "--layer2",
                                           "streets", "--field2", "name"} +
                               more);
    }
    // The bytes of the file a build of `maps` writes with `more` options.
    static QByteArray builtFile(const QStringList& maps, const QString& name,
                                const QStringList& more = {}) {
        const testrun::ChildEnding r = build(maps, more + QStringList{"--save-as", path(name)});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        const QByteArray bytes = bytesOf(path(name + (more.contains("table") ? ".csv" : ".txt")));
        EXPECT_GT(bytes.count('\n'), 100) << name.toStdString();
        return bytes;
    }

    static inline QTemporaryDir* dir_ = nullptr;
};

TEST_F(RealIdsTest, TheSparseMapIsNumberedAsRealDataIs) {
    GDALDatasetH ds = GDALOpenEx(path("sparse.gpkg").toUtf8().constData(), GDAL_OF_VECTOR, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(ds, nullptr);
    OGRLayerH range = GDALDatasetExecuteSQL(ds, "SELECT min(fid), max(fid), count(*) FROM streets",
                                            nullptr, nullptr);
    OGRFeatureH f = OGR_L_GetNextFeature(range);
    EXPECT_LT(OGR_F_GetFieldAsInteger64(f, 0), -400000000000LL);
    EXPECT_EQ(OGR_F_GetFieldAsInteger64(f, 1), 4611686018427387000LL);
    EXPECT_EQ(OGR_F_GetFieldAsInteger64(f, 2), 24000);
    OGR_F_Destroy(f);
    GDALDatasetReleaseResultSet(ds, range);
    GDALClose(ds);
}

TEST_F(RealIdsTest, TextTableAndLayoutAreThoseOfTheDenseMap) {
    for (const QString& output : QStringList{"text", "table"}) {
        const QStringList more{"--output", output};
        EXPECT_EQ(builtFile({path("sparse.gpkg")}, "sparse-" + output, more),
                  builtFile({path("dense.gpkg")}, "dense-" + output, more))
            << output.toStdString();
    }
    // The layout, read back from its PDF.
    QStringList texts;
    for (const QString& map : QStringList{"dense", "sparse"}) {
        const QString pdf = path(map + "-layout.pdf");
        const testrun::ChildEnding r =
            build({path(map + ".gpkg")},
                  {"--output", "layout", "--columns", "3", "--layout-fit", "--layout-pdf", pdf});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const testrun::ChildEnding text = testrun::runChild("/usr/bin/pdftotext", {pdf, "-"});
        ASSERT_EQ(text.status, 0);
        texts << text.out;
    }
    EXPECT_GT(texts[0].size(), 1000);
    EXPECT_EQ(texts[1], texts[0]);
}

TEST_F(RealIdsTest, FieldOutputWritesWhatTheDenseMapGets) {
    QStringList written[2];
    int i = 0;
    for (const QString& map : QStringList{"dense", "sparse"}) {
        const QString copy = path(map + "-field.gpkg");
        ASSERT_TRUE(QFile::copy(path(map + ".gpkg"), copy));
        const testrun::ChildEnding r =
            build({copy}, {"--output", "field", "--output-field", "pages", "--yes"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        written[i++] = valuesById(copy, "streets", "pages");
    }
    ASSERT_EQ(written[0].size(), 24000);
    EXPECT_GT(written[0].filter(QRegularExpression("^ [A-Z]+[0-9]+")).size(), 20000);
    EXPECT_EQ(written[1], written[0]);
}

TEST_F(RealIdsTest, GeoJsonAndAFilteredProjectReadTheSameIndex) {
    const QByteArray dense = builtFile({path("dense.gpkg")}, "dense-gpkg");
    // GeoJSON goes through QGIS's own reader, ids as the file states them.
    for (const QString& table : QStringList{"streets", "pages"}) {
        toGeoJson(path("sparse.gpkg"), table, path(table + ".geojson"));
    }
    EXPECT_EQ(builtFile({path("pages.geojson"), path("streets.geojson")}, "sparse-geojson"), dense);

    // A project whose layers have filters of their own, over either map.
    QByteArray filtered[2];
    int i = 0;
    for (const QString& map : QStringList{"dense", "sparse"}) {
        QgsProject project;
        for (const QString& table : QStringList{"streets", "pages"}) {
            auto* layer =
                new QgsVectorLayer(path(map + ".gpkg") + "|layername=" + table, table, "ogr");
            ASSERT_TRUE(layer->isValid());
            layer->setSubsetString(table == QLatin1String("streets")
                                       ? QStringLiteral("\"name\" NOT LIKE 'B%'")
                                       : QStringLiteral("\"PAGE_NO\" % 3 <> 0"));
            project.addMapLayer(layer);
        }
        const QString file = path(map + ".qgs");
        ASSERT_TRUE(project.write(file));
        filtered[i++] = builtFile({file}, map + "-filtered");
    }
    EXPECT_NE(filtered[0], dense);
    EXPECT_EQ(filtered[1], filtered[0]);
}

}  // namespace
