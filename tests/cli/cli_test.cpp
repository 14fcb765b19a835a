// The bramlotte program end to end: each output, each exit status, messages
// on stderr, the scripted save dialog, and the layers listing.
#include "bench/town_generator.h"
#include "tests/testing/locales.h"
#include "tests/testing/test_maps.h"

#include <qgsfeatureiterator.h>
#include <qgslayertree.h>
#include <qgslayoutitemlabel.h>
#include <qgslayoutmanager.h>
#include <qgsprintlayout.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace bramlotte;

namespace {

struct Result {
    int status;
    QString out, err;
};

Result runProgram(
    const QStringList& args, const QString& workDir = QString(),
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProgram(BRAMLOTTE_CLI);
    p.setArguments(args);
    p.setProcessEnvironment(environment);
    if (!workDir.isEmpty()) {
        p.setWorkingDirectory(workDir);
    }
    p.start();
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll())
                                       : QStringLiteral("<missing>");
}

class CliTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        town_ = dir_->filePath("town.gpkg");
        bench::TownOptions options;
        options.segments = 300;
        options.pagesField = true;
        bench::generateTown(town_.toStdString(), options);
    }
    static void TearDownTestSuite() { delete dir_; }
    QStringList build(const QStringList& more) const {
        return QStringList{"build", town_,      "--layer1", "pages",    "--field1",
                           "PAGE",  "--layer2", "streets",  "--field2", "name"} +
               more;
    }
    static inline QTemporaryDir* dir_ = nullptr;
    static inline QString town_;
};

}  // namespace

TEST_F(CliTest, TextAndTableFilesFollowTheDialogsNameRules) {
    QTemporaryDir out;
    Result r = runProgram(build({"--save-as", out.filePath("index")}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, out.filePath("index.txt") + "\n");
    const QStringList lines = readText(out.filePath("index.txt")).split("\r\n");
    ASSERT_GT(lines.size(), 5);
    EXPECT_EQ(lines.last(), "");  // CR LF after the last line too
    EXPECT_TRUE(lines[0].contains("... "));

    r = runProgram(build(
        {"--output", "table", "--delimiter", "tab", "--save-as", out.filePath("Results.csv")}));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, out.filePath("Results.txt") + "\n");
    EXPECT_TRUE(readText(out.filePath("Results.txt")).contains('\t'));

    // Without --save-as: the current folder and the default name.
    r = runProgram(build({"--output", "table"}), out.path());
    EXPECT_EQ(r.out, out.filePath("Bramlotte_Output.csv") + "\n");
}

TEST_F(CliTest, QuestionsAreAnsweredNoUnlessYesIsGiven) {
    QTemporaryDir out;
    ASSERT_EQ(runProgram(build({"--save-as", out.filePath("index")})).status, 0);
    QFile::resize(out.filePath("index.txt"), 3);
    Result r = runProgram(build({"--save-as", out.filePath("index")}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "File already exists. Overwrite?\nNo\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(QFileInfo(out.filePath("index.txt")).size(), 3);
    r = runProgram(build({"--save-as", out.filePath("index"), "--yes"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_GT(QFileInfo(out.filePath("index.txt")).size(), 3);
}

TEST_F(CliTest, FieldOutputWritesTheMapAfterConfirmation) {
    QTemporaryDir out;
    const QString copy = out.filePath("copy.gpkg");
    ASSERT_TRUE(QFile::copy(town_, copy));
    const QStringList args = {"build",    copy,       "--layer1",       "pages",    "--field1",
                              "PAGE",     "--layer2", "streets",        "--field2", "name",
                              "--output", "field",    "--output-field", "pages"};
    Result r = runProgram(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "All field values in field: pages will be overwritten.\r\nContinue?\nNo\n");
    r = runProgram(args + QStringList{"--yes"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    QgsVectorLayer streets(copy + "|layername=streets", "s", "ogr");
    QgsFeature f;
    int filled = 0;
    for (auto it = streets.getFeatures(); it.nextFeature(f);) {
        filled += f.attribute("pages").toString().startsWith(' ');
    }
    EXPECT_EQ(filled, 300);  // nameless streets get their pages too

    // Into an integer field: the edit failure, exit 2, nothing written.
    r = runProgram(QStringList{"build", copy, "--layer1", "pages", "--field1", "PAGE", "--layer2",
                               "pages", "--field2", "PAGE", "--output", "field", "--output-field",
                               "PAGE_NO", "--yes"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("Error editing field values...")) << r.err.toStdString();
}

TEST_F(CliTest, RefusalsFailuresAndUsage) {
    Result r = runProgram(build({"--output", "layout", "--columns", "abc"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Please enter a numeric value for the column number\n");
    r = runProgram(QStringList{"build", town_, "--layer1", "pages", "--field1", "PAGE", "--layer2",
                               "pages", "--field2", "PAGE", "--relationship", "CROSS", "--output",
                               "window"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith("Error relating the two layers...\r\n"));
    r = runProgram(build({"--output", "layout", "--columns", "40000"}));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("MODULE: btnNext_Click frmIndex Line : "));

    EXPECT_EQ(runProgram(build({"--frobnicate"})).status, 64);
    r = runProgram({"build", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("bramlotte build MAP... --layer1 NAME")) << r.out.toStdString();
    r = runProgram(QStringList{"build", dir_->filePath("nope.gpkg"), "--layer1", "a", "--field1",
                               "b", "--layer2", "c", "--field2", "d"});
    EXPECT_EQ(r.status, 64);
    r = runProgram(build({"--relationship", "NEAR"}));
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(r.err.contains("INTERSECT, ENVELOPE INTERSECTS, TOUCH")) << r.err.toStdString();
    r = runProgram(QStringList{"build", town_, "--layer1", "Pages", "--field1", "PAGE", "--layer2",
                               "streets", "--field2", "name"});
    EXPECT_EQ(r.status, 64);
    EXPECT_TRUE(r.err.contains("the choices are: streets, pages")) << r.err.toStdString();
}

namespace {

// The memory maps of the running program, read from /proc while it builds:
// the first that shows `library`, or else the last read before it ended
// (the loader maps the libraries one after the other).
QByteArray mapsOfRunningProgram(const QStringList& args, const QByteArray& library) {
    QProcess p;
    p.start(BRAMLOTTE_CLI, args);
    if (!p.waitForStarted()) {
        return "<not started>";
    }
    const QString maps = QStringLiteral("/proc/%1/maps").arg(p.processId());
    QByteArray seen = "<never read>";
    while (!p.waitForFinished(1)) {
        QFile f(maps);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray text = f.readAll();
            if (!text.isEmpty()) {
                seen = text;
            }
            if (text.contains(library)) {
                break;
            }
        }
    }
    p.waitForFinished(120000);
    return p.exitCode() == 0 ? seen : QByteArray("<failed>");
}

}  // namespace

TEST_F(CliTest, TheProgramRunsOnItsOwnAllocator) {
    // A build without it still works, only slower: this is what notices.
    QTemporaryDir out;
    const QByteArray maps =
        mapsOfRunningProgram(build({"--yes", "--save-as", out.filePath("index")}), "libjemalloc");
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_FALSE(maps.contains("libjemalloc")) << "the sanitizer's allocator is the one";
#else
    EXPECT_TRUE(maps.contains("libjemalloc")) << maps.left(2000).toStdString();
#endif
    EXPECT_TRUE(QFile::exists(out.filePath("index.txt")));
}

TEST_F(CliTest, WindowOutputAndLayersOfAProjectWithGroups) {
    Result r = runProgram(
        build({"--output", "window", "--column-separator", " | ", "--item-separator", ";"}));
    ASSERT_EQ(r.status, 0);
    const QStringList lines = r.out.trimmed().split('\n');
    ASSERT_GT(lines.size(), 5);
    EXPECT_TRUE(lines[0].contains(" |  ")) << lines[0].toStdString();

    const QString project = dir_->filePath("atlas.qgs");
    {
        QgsProject p;
        auto* streets = new QgsVectorLayer(town_ + "|layername=streets", "streets", "ogr");
        auto* pages = new QgsVectorLayer(town_ + "|layername=pages", "pages", "ogr");
        p.addMapLayer(streets, false);
        p.addMapLayer(pages, false);
        p.layerTreeRoot()->addLayer(streets);
        QgsLayerTreeGroup* g = p.layerTreeRoot()->addGroup("atlas");
        g->addLayer(pages);
        ASSERT_TRUE(p.write(project));
    }
    r = runProgram({"layers", project});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "streets\tfid\tname\thighway\tpages\npages\tfid\tPAGE\tROW\tCOL\tPAGE_NO\n");
}

TEST_F(CliTest, LayoutElementsAreSavedWithTheProject) {
    QTemporaryDir out;
    const QString project = out.filePath("atlas.qgz");
    {
        QgsProject p;
        p.addMapLayer(new QgsVectorLayer(town_ + "|layername=streets", "streets", "ogr"));
        p.addMapLayer(new QgsVectorLayer(town_ + "|layername=pages", "pages", "ogr"));
        ASSERT_TRUE(p.write(project));
    }
    const Result r = runProgram({"build", project, "--layer1", "pages", "--field1", "PAGE",
                                 "--layer2", "streets", "--field2", "name", "--output", "layout",
                                 "--columns", "2", "--save-project"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, project + "\n");
    QgsProject reread;
    ASSERT_TRUE(reread.read(project));
    const QList<QgsPrintLayout*> layouts = reread.layoutManager()->printLayouts();
    ASSERT_EQ(layouts.size(), 1);
    QList<QgsLayoutItemLabel*> labels;
    layouts.first()->layoutItems(labels);
    ASSERT_EQ(labels.size(), 2);
    EXPECT_TRUE(labels[0]->text().contains("... ")) << labels[0]->text().toStdString();
    // A map of datasets has no project file to save.
    EXPECT_EQ(runProgram(build({"--output", "layout", "--save-project"})).status, 64);
}

TEST_F(CliTest, MonacoLayoutAsPdf) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QTemporaryDir out;
    const Result r = runProgram({"build", monaco, "--layer1", "pages", "--field1", "PAGE",
                                 "--layer2", "streets", "--field2", "name", "--output", "layout",
                                 "--columns", "4", "--layout-pdf", out.filePath("m.pdf")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_GT(QFileInfo(out.filePath("m.pdf")).size(), 10000);
}

TEST_F(CliTest, EachCommandExplainsItselfWithHelp) {
    for (const QString command : {"build", "layers", "demo", "register"}) {
        const Result r = runProgram({command, "--help"});
        EXPECT_EQ(r.status, 0) << command.toStdString();
        EXPECT_TRUE(r.out.startsWith("usage: bramlotte " + command)) << r.out.toStdString();
        EXPECT_EQ(r.err, "");
    }
    // Help wins over whatever else is on the line, and touches nothing.
    QTemporaryDir out;
    const Result r = runProgram(build({"--help", "--save-as", out.filePath("index")}));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.contains("--item-separator"));
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(CliTest, WhatTheDataCannotGiveIsSaidOnStandardError) {
    QTemporaryDir out;
    // A layer with no coordinate system (a shapefile without its .prj)
    // beside one with: built, with a warning.
    const QString plain = out.filePath("pages.shp");
    ASSERT_TRUE(testmaps::writeShapefile(
        *testmaps::memoryLayer("pages", "Polygon", {"PAGE:string"},
                               {{"POLYGON((0 0,9 0,9 9,0 9,0 0))", {"A1"}}}),
        plain));
    ASSERT_TRUE(QFile::remove(out.filePath("pages.prj")));
    const QString mixed = out.filePath("mixed.qgs");
    {
        QgsProject p;
        p.addMapLayer(new QgsVectorLayer(plain, "pages", "ogr"));
        p.addMapLayer(new QgsVectorLayer(town_ + "|layername=streets", "streets", "ogr"));
        ASSERT_TRUE(p.write(mixed));
    }
    Result r = runProgram({"build", mixed, "--layer1", "pages", "--field1", "PAGE", "--layer2",
                           "streets", "--field2", "name", "--output", "window"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err,
              "Warning: The coordinate systems of Layer #1 \"pages\" (no coordinate system) and "
              "Layer #2 \"streets\" (EPSG:32632) could not be related: their shapes are compared "
              "as stored.\n");

    // A project whose data file is gone: the layer is unavailable, and why.
    const QString copy = out.filePath("gone.gpkg");
    ASSERT_TRUE(QFile::copy(town_, copy));
    const QString project = out.filePath("gone.qgs");
    {
        QgsProject p;
        p.addMapLayer(new QgsVectorLayer(copy + "|layername=streets", "streets", "ogr"));
        p.addMapLayer(new QgsVectorLayer(copy + "|layername=pages", "pages", "ogr"));
        ASSERT_TRUE(p.write(project));
    }
    QFile::remove(copy);
    r = runProgram({"build", project, "--layer1", "pages", "--field1", "PAGE", "--layer2",
                    "streets", "--field2", "name"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith("Layer #1 \"pages\" is unavailable: ") &&
                r.err.contains("gone.gpkg does not exist"))
        << r.err.toStdString();
}

// The text file's order under each kind of locale is ICU's order for the
// locale's language, also where the environment names the locale only by
// LC_COLLATE. Lines ICU holds equal keep their order.
TEST_F(CliTest, TheIndexIsSortedByTheLocalesCollation) {
    QTemporaryDir out;
    const QString finnish = out.filePath("finnish.gpkg");
    testmaps::writeGeoPackage(
        *testmaps::memoryLayer("pages", "Polygon", {"PAGE:string"},
                               {{"POLYGON((0 0,10 0,10 10,0 10,0 0))", {"A1"}}}),
        finnish, "pages");
    testmaps::writeGeoPackage(
        *testmaps::memoryLayer("streets", "LineString", {"name:string"},
                               {{"LINESTRING(1 1,2 2)", {QString::fromUtf8("Öljytie")}},
                                {"LINESTRING(1 1,2 2)", {"zeta Rd"}},
                                {"LINESTRING(1 1,2 2)", {QString::fromUtf8("Äyritie")}},
                                {"LINESTRING(1 1,2 2)", {"Aapiskuja"}},
                                {"LINESTRING(1 1,2 2)", {QString::fromUtf8("Émile St")}}}),
        finnish, "streets");
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    struct Case {
        QString map, locale;
        const char* language;
        bool byLcCollate;  // the locale named for collation alone
    };
    std::vector<Case> cases = {{finnish, "C", "root", false}, {finnish, "fi_FI.UTF-8", "fi", true}};
    if (!monaco.isEmpty()) {
        for (const char* c : {"C", "C.UTF-8", "POSIX"}) {
            cases.push_back({monaco, c, "root", false});
        }
        cases.push_back({monaco, "fi_FI.UTF-8", "fi", false});
    }
    QStringList missing;
    for (size_t i = 0; i < cases.size(); ++i) {
        const testmaps::TestLocale locale(cases[i].locale);
        if (!locale.available()) {
            missing << cases[i].locale;
            continue;
        }
        QProcessEnvironment environment = locale.environment();
        if (cases[i].byLcCollate) {
            environment.remove("LC_ALL");
            environment.insert("LANG", "C.UTF-8");
            environment.insert("LC_COLLATE", cases[i].locale);
        }
        const QString index = out.filePath(QStringLiteral("index%1").arg(i));
        const Result r = runProgram({"build", cases[i].map, "--layer1", "pages", "--field1", "PAGE",
                                     "--layer2", "streets", "--field2", "name", "--save-as", index},
                                    QString(), environment);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        QStringList lines = readText(index + ".txt").split("\r\n");
        lines.removeLast();
        EXPECT_EQ(lines, testmaps::icuOrder(lines, cases[i].language))
            << cases[i].locale.toStdString() << " " << cases[i].map.toStdString();
        if (cases[i].map == monaco) {
            EXPECT_EQ(lines.size(), 557);
        } else {
            EXPECT_EQ(lines.first(), "Aapiskuja... A1");
            EXPECT_EQ(lines.last(), cases[i].locale == "C" ? QString("zeta Rd... A1")
                                                           : QString::fromUtf8("Öljytie... A1"));
        }
    }
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent; the small map alone was checked";
    }
    if (!missing.isEmpty()) {
        GTEST_SKIP() << "these locales cannot be made here: " << missing.join(", ").toStdString();
    }
}
