// The same streets in every format users have them in give the same index,
// byte for byte: the order of the lines never depends on the order a format
// stores its features in (a FlatGeobuf with its spatial index keeps them in
// the index's order, not the GeoPackage's), nor on whether the map lies in
// a zip file that GDAL's virtual paths open.
#include <cpl_conv.h>
#include <gdal.h>
#include <gdal_utils.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString shared(const QString& file) {
    const QString path = QDir(QStringLiteral(BRAMLOTTE_SHARED_DATA)).filePath(file);
    return QFile::exists(path) ? path : QString();
}

// `table` of `from` written as `to` in the format `driver` (with its layer
// creation options), fids kept.
bool translate(const QString& from, const char* table, const QString& to, const char* driver,
               std::vector<const char*> options = {}) {
    GDALDatasetH source =
        GDALOpenEx(from.toUtf8().constData(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    if (!source) {
        return false;
    }
    std::vector<const char*> argv{"-f", driver, "-nln", table};
    for (const char* option : options) {
        argv.push_back("-lco");
        argv.push_back(option);
    }
    argv.push_back(table);
    argv.push_back(nullptr);
    GDALVectorTranslateOptions* o =
        GDALVectorTranslateOptionsNew(const_cast<char**>(argv.data()), nullptr);
    int failed = 0;
    GDALDatasetH out =
        GDALVectorTranslate(to.toUtf8().constData(), nullptr, 1, &source, o, &failed);
    GDALVectorTranslateOptionsFree(o);
    GDALClose(source);
    if (out) {
        GDALClose(out);
    }
    return out && !failed;
}

QByteArray indexOf(const QStringList& maps, const QString& saveAs) {
    QProcess p;
    p.start(BRAMLOTTE_CLI, QStringList{"build"} + maps +
                               QStringList{"--layer1", "pages", "--field1", "PAGE", "--layer2",
                                           "streets", "--field2", "name", "--save-as", saveAs});
    p.waitForFinished(120000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QFile f(saveAs + ".txt");
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST(Formats, GeoPackageFlatGeobufGeoJsonAndShapefileGiveTheSameIndex) {
    const QString monaco = shared("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "the shared OpenStreetMap maps are absent";
    }
    QTemporaryDir dir;
    const QByteArray want = indexOf({monaco}, dir.filePath("gpkg"));
    ASSERT_GT(want.count('\n'), 500);
    // Monaco's streets hold names that differ only in case ("Rue de la Pise",
    // "Rue De la Pise"): their order must not follow the format's.
    ASSERT_TRUE(want.contains("Rue de la Pise") && want.contains("Rue De la Pise"));
    struct Format {
        const char* driver;
        const char* extension;
        std::vector<const char*> options;
    };
    const Format formats[] = {{"FlatGeobuf", ".fgb", {}},
                              {"GeoJSON", ".geojson", {}},
                              {"ESRI Shapefile", ".shp", {"ENCODING=UTF-8"}}};
    for (const Format& format : formats) {
        // The pages as they are: their order makes the order of the pages
        // within a line.
        const QString streets = dir.filePath(QStringLiteral("streets") + format.extension);
        ASSERT_TRUE(translate(monaco, "streets", streets, format.driver, format.options))
            << format.driver;
        const QString pages = dir.filePath(QStringLiteral("pages.gpkg"));
        if (!QFile::exists(pages)) {
            ASSERT_TRUE(translate(monaco, "pages", pages, "GPKG"));
        }
        EXPECT_EQ(indexOf({pages, streets}, dir.filePath(format.extension + 1)), want)
            << format.driver;
    }

    // The shapefile zipped, named by a virtual path as QGIS opens it.
    const QString zip = dir.filePath("streets.zip");
    for (const char* part : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) {
        const QString from = dir.filePath(QStringLiteral("streets") + part);
        if (QFile::exists(from)) {
            const QString to = "/vsizip/" + zip + "/streets" + part;
            ASSERT_EQ(CPLCopyFile(to.toUtf8().constData(), from.toUtf8().constData()), 0) << part;
        }
    }
    EXPECT_EQ(indexOf({dir.filePath("pages.gpkg"), "/vsizip/" + zip + "/streets.shp"},
                      dir.filePath("zipped")),
              want);
}
