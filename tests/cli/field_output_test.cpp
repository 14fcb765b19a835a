// Field output through the real program: a data file whose mode bits forbid
// writing it is refused before anything is written, and a shapefile ends
// with all its old values or all its new ones, whenever the program is
// killed.
#include "bench/town_generator.h"
#include "tests/testing/child_program.h"

#include <gdal_utils.h>
#include <qgsfeatureiterator.h>
#include <qgsvectorlayer.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

using namespace bramlotte;
using testrun::ChildEnding;
using testrun::ChildSetup;

namespace {

// Writes layer `layer` of `gpkg` as the shapefile `shp`, its text in UTF-8.
void writeShapefile(const QString& gpkg, const QString& layer, const QString& shp) {
    GDALDatasetH source =
        GDALOpenEx(QFile::encodeName(gpkg).constData(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
    ASSERT_TRUE(source);
    const QByteArray name = layer.toUtf8();
    const char* args[] = {"-f",   "ESRI Shapefile", "-lco", "ENCODING=UTF-8", name.constData(),
                          nullptr};
    GDALVectorTranslateOptions* options =
        GDALVectorTranslateOptionsNew(const_cast<char**>(args), nullptr);
    GDALDatasetH out = GDALVectorTranslate(QFile::encodeName(shp).constData(), nullptr, 1, &source,
                                           options, nullptr);
    GDALVectorTranslateOptionsFree(options);
    ASSERT_TRUE(out);
    GDALClose(out);
    GDALClose(source);
}

// Each file of `folder` with a digest of its bytes.
QMap<QString, QByteArray> digests(const QString& folder) {
    QMap<QString, QByteArray> result;
    for (const QString& name : testrun::namesIn(folder)) {
        QFile f(folder + "/" + name);
        if (f.open(QIODevice::ReadOnly)) {
            result[name] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex();
        }
    }
    return result;
}

// The "pages" value of every street of the shapefile, or nothing when it
// does not open whole.
std::optional<QStringList> pagesOf(const QString& shp, long long expectedCount) {
    QgsVectorLayer layer(shp, "check", "ogr");
    if (!layer.isValid() || layer.featureCount() != expectedCount) {
        return std::nullopt;
    }
    QStringList values;
    QgsFeature f;
    for (auto it = layer.getFeatures(); it.nextFeature(f);) {
        values << f.attribute("pages").toString();
    }
    return values;
}

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : testrun::namesIn(from)) {
        QFile::copy(from + "/" + name, to + "/" + name);
    }
}

QStringList fieldOutput(const QStringList& maps) {
    return QStringList{"build"} + maps +
           QStringList{"--layer1",       "pages",    "--field1", "PAGE",     "--layer2",
                       "streets",        "--field2", "name",     "--output", "field",
                       "--output-field", "pages",    "--yes"};
}

}  // namespace

TEST(FieldOutput, ADataFileWhoseModeForbidsWritingIsRefusedBeforeAnythingIsWritten) {
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const QString town = dir.filePath("town.gpkg");
    bench::TownOptions options;
    options.segments = 300;
    options.pagesField = true;
    bench::generateTown(town.toStdString(), options);

    struct Case {
        QString folder, changed;  // the map's folder, the file a field write changes
        QStringList maps;
        std::optional<uid_t> user;
    };
    std::vector<Case> cases;
    for (const std::optional<uid_t>& user : testrun::readOnlyTesters()) {
        const QString tag = user ? "user" : "root";
        const QString gpkg = testrun::openFolder(dir.path(), "gpkg-" + tag);
        QFile::copy(town, gpkg + "/town.gpkg");
        cases.push_back({gpkg, gpkg + "/town.gpkg", {gpkg + "/town.gpkg"}, user});
        const QString shp = testrun::openFolder(dir.path(), "shp-" + tag);
        writeShapefile(town, "streets", shp + "/streets.shp");
        QFile::copy(town, shp + "/pages.gpkg");
        cases.push_back(
            {shp, shp + "/streets.dbf", {shp + "/pages.gpkg", shp + "/streets.shp"}, user});
    }
    const QString home = testrun::openFolder(dir.path(), "home");
    for (const Case& c : cases) {
        testrun::giveTo(c.folder, c.user);
        testrun::giveTo(home, c.user);
        ::chmod(QFile::encodeName(c.changed).constData(), 0444);
        const auto before = digests(c.folder);
        const ChildSetup setup = testrun::asUser(c.user, home);
        const ChildEnding r = testrun::runChild(BRAMLOTTE_CLI, fieldOutput(c.maps), setup);
        const std::string what = c.changed.toStdString() + " as " + testrun::testerName(c.user);
        EXPECT_EQ(r.status, 2) << what << r.err.toStdString();
        // The edit failure's own box, then its cause.
        const QStringList lines = QString(r.err).remove('\r').split('\n');
        const int box = lines.indexOf("Error editing field values...");
        ASSERT_GE(box, 0) << what << r.err.toStdString();
        ASSERT_GT(lines.size(), box + 3) << what;
        EXPECT_EQ(lines[box + 3], c.changed + " is read-only: its mode bits forbid writing it.")
            << what;
        EXPECT_EQ(digests(c.folder), before) << what;
    }
}

TEST(FieldOutput, AShapefileHoldsAllOldOrAllNewValuesWhenTheProgramIsKilled) {
    QTemporaryDir dir;
    const QString town = dir.filePath("town.gpkg");
    bench::TownOptions options;
    options.segments = 40000;
    options.pagesField = true;
    bench::generateTown(town.toStdString(), options);
    const QString pristine = dir.filePath("pristine");
    QDir().mkpath(pristine);
    writeShapefile(town, "streets", pristine + "/streets.shp");
    QFile::copy(town, pristine + "/pages.gpkg");
    const auto unchanged = digests(pristine);
    const std::optional<QStringList> old = pagesOf(pristine + "/streets.shp", options.segments);
    ASSERT_TRUE(old);

    // The values a whole run gives, and how long it takes.
    const QString whole = dir.filePath("whole");
    copyFolder(pristine, whole);
    QElapsedTimer clock;
    clock.start();
    const ChildEnding r = testrun::runChild(
        BRAMLOTTE_CLI, fieldOutput({whole + "/pages.gpkg", whole + "/streets.shp"}));
    const qint64 runTime = clock.elapsed();
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const std::optional<QStringList> fresh = pagesOf(whole + "/streets.shp", options.segments);
    ASSERT_TRUE(fresh);
    ASSERT_NE(*fresh, *old);
    // Only the attribute table changed.
    auto written = digests(whole);
    EXPECT_EQ(written.keys(), unchanged.keys());
    for (const QString& name : unchanged.keys()) {
        EXPECT_EQ(written[name] == unchanged[name], !name.endsWith(".dbf")) << name.toStdString();
    }

    // Killed at moments spread over a run.
    for (const double moment : {0.3, 0.45, 0.6, 0.75, 0.9}) {
        const QString run = dir.filePath(QStringLiteral("killed-%1").arg(moment));
        copyFolder(pristine, run);
        {
            testrun::ChildProgram child(BRAMLOTTE_CLI,
                                        fieldOutput({run + "/pages.gpkg", run + "/streets.shp"}));
            QThread::msleep(static_cast<unsigned long>(runTime * moment));
            child.signal(SIGKILL);
            child.wait();
        }
        const std::optional<QStringList> values = pagesOf(run + "/streets.shp", options.segments);
        ASSERT_TRUE(values) << "the shapefile does not open after a kill at " << moment;
        int asOld = 0, asNew = 0;
        for (int i = 0; i < values->size(); ++i) {
            asOld += (*values)[i] == (*old)[i];
            asNew += (*values)[i] == (*fresh)[i];
        }
        const int count = values->size();
        EXPECT_TRUE(asOld == count || asNew == count)
            << "killed at " << moment << " of the run: " << asOld << " old and " << asNew
            << " new of " << count;
    }
}
