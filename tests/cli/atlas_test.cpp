// `bramlotte atlas` as a map maker runs it: Monaco's street atlas from a
// project of its quarters, streets and points of interest, as one PDF of map
// pages and their index; kept in the project; and no PDF when interrupted.
#include "tests/testing/child_program.h"
#include "tests/testing/test_maps.h"

#include <qgsfeatureiterator.h>
#include <qgslayoutmanager.h>
#include <qgsreport.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>

using namespace bramlotte;

namespace {

// What a tool of poppler's prints.
QString toolOutput(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of each page of a PDF.
QStringList pageTexts(const QString& pdf) {
    const int pages = QRegularExpression(R"(Pages:\s+(\d+))")
                          .match(toolOutput("pdfinfo", {pdf}))
                          .captured(1)
                          .toInt();
    QStringList texts;
    for (int page = 1; page <= pages; ++page) {
        texts << toolOutput("pdftotext", {"-f", QString::number(page), "-l", QString::number(page),
                                          "-raw", pdf, "-"});
    }
    return texts;
}

// A project of Monaco's quarters, streets and points of interest.
QString monacoProject(const QString& folder, const QString& monaco) {
    QgsProject p;
    for (const char* table : {"quarters", "streets", "pois"}) {
        p.addMapLayer(new QgsVectorLayer(monaco + "|layername=" + table, table, "ogr"));
    }
    const QString path = folder + "/monaco.qgz";
    EXPECT_TRUE(p.write(path));
    return path;
}

QStringList atlasArgs(const QString& project, const QString& pdf) {
    return {"atlas",   project, "--layer2",  "streets", "--field2", "name",       "--paper", "A4",
            "--scale", "10000", "--columns", "4",       "--ranges", "--headings", "--pdf",   pdf};
}

}  // namespace

TEST(Atlas, MonacosAtlasIsItsMapPagesThenItsIndex) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QTemporaryDir dir;
    const QString project = monacoProject(dir.path(), monaco);
    const QString pdf = dir.filePath("atlas.pdf");
    const testrun::ChildEnding r =
        testrun::runChild(BRAMLOTTE_CLI, atlasArgs(project, pdf) + QStringList{"--save-project"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString grid = dir.filePath("monaco-atlas-pages.gpkg");
    EXPECT_EQ(r.out, pdf + "\n" + grid + "\n" + project + "\n");

    // The pages of the grid, and each one's neighbours.
    QgsVectorLayer pages(grid + "|layername=pages", "pages", "ogr");
    ASSERT_TRUE(pages.isValid());
    std::map<int, std::vector<int>> neighbours;
    QgsFeature f;
    for (auto it = pages.getFeatures(); it.nextFeature(f);) {
        std::vector<int>& of = neighbours[f.attribute("PAGE_NO").toInt()];
        for (const char* side : {"NORTH", "EAST", "SOUTH", "WEST"}) {
            if (!f.attribute(side).isNull()) {
                of.push_back(f.attribute(side).toInt());
            }
        }
    }
    const int mapPages = static_cast<int>(neighbours.size());
    ASSERT_GE(mapPages, 8);

    const QStringList texts = pageTexts(pdf);
    ASSERT_GT(texts.size(), mapPages);
    // The map pages first: each with its own number and its neighbours'.
    for (int page = 1; page <= mapPages; ++page) {
        const QString& text = texts[page - 1];
        const QStringList numbers = text.split(QRegularExpression(R"(\D+)"), Qt::SkipEmptyParts);
        EXPECT_TRUE(numbers.contains(QString::number(page))) << "page " << page;
        for (const int next : neighbours[page]) {
            EXPECT_TRUE(numbers.contains(QString::number(next)))
                << "page " << page << " does not show its neighbour " << next;
        }
        EXPECT_FALSE(text.contains("...")) << "an index line on map page " << page;
    }
    // Then the index: every street, only references to printed pages.
    const testrun::ChildEnding window = testrun::runChild(
        BRAMLOTTE_CLI, {"build", monaco, "--layer1", "pages", "--field1", "PAGE", "--layer2",
                        "streets", "--field2", "name", "--output", "window"});
    QStringList keys;
    for (const QString& line : window.out.split('\n', Qt::SkipEmptyParts)) {
        keys << line.section("...", 0, 0).simplified();
    }
    ASSERT_EQ(keys.size(), 557);
    const QString index = texts.mid(mapPages).join(' ').simplified();
    int found = 0;
    for (const QString& key : keys) {
        found += index.contains(key + "...");
    }
    EXPECT_EQ(found, keys.size());
    const QRegularExpression reference(R"(\.\.\. ([0-9, -]+))");
    int references = 0;
    for (auto m = reference.globalMatch(texts.mid(mapPages).join('\n')); m.hasNext();) {
        for (const QString& item :
             m.next().captured(1).split(QRegularExpression("[, -]+"), Qt::SkipEmptyParts)) {
            ++references;
            EXPECT_TRUE(item.toInt() >= 1 && item.toInt() <= mapPages) << item.toStdString();
        }
    }
    EXPECT_GT(references, 557);

    // Kept in the project: the report and the grid.
    QgsProject reread;
    ASSERT_TRUE(reread.read(project));
    EXPECT_NE(reread.layoutManager()->layoutByName("Street atlas"), nullptr);
    EXPECT_FALSE(reread.mapLayersByName("Atlas pages").isEmpty());
}

TEST(Atlas, AnInterruptedAtlasLeavesNoPdf) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QTemporaryDir dir;
    const QString project = monacoProject(dir.path(), monaco);
    const QString out = dir.filePath("out");
    QDir().mkpath(out);
    testrun::ChildProgram child(BRAMLOTTE_CLI, atlasArgs(project, out + "/atlas.pdf"));
    ASSERT_TRUE(child.signalWhenCreated(out, R"(^\.atlas\.pdf\.)", SIGINT));
    const testrun::ChildEnding ended = child.wait();
    EXPECT_EQ(ended.signal, SIGINT) << ended.err.toStdString();
    EXPECT_EQ(testrun::namesIn(out), QStringList());
}

TEST(Atlas, PagesOfYourOwnAndBadUsage) {
    const QString monaco = testmaps::sharedData("monaco.gpkg");
    if (monaco.isEmpty()) {
        GTEST_SKIP() << "shared/data/monaco.gpkg is absent";
    }
    QTemporaryDir dir;
    // Monaco's own 500 m pages, numbered by PAGE_NO.
    const QString pdf = dir.filePath("own.pdf");
    const testrun::ChildEnding r = testrun::runChild(
        BRAMLOTTE_CLI, {"atlas", monaco, "--layer2", "streets", "--field2", "name", "--layer1",
                        "pages", "--field1", "PAGE_NO", "--pdf", pdf, "--title", "Monaco"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList texts = pageTexts(pdf);
    EXPECT_TRUE(texts.first().contains("Monaco"));
    EXPECT_GT(texts.size(), 312);  // a title, Monaco's 312 pages, the index
    for (const QStringList& args :
         {QStringList{"atlas", monaco, "--layer2", "streets", "--field2", "name", "--pdf", pdf},
          QStringList{"atlas", monaco, "--layer2", "streets", "--field2", "name", "--paper", "A5",
                      "--scale", "10000", "--pdf", pdf},
          QStringList{"atlas", monaco, "--layer2", "streets", "--field2", "name", "--paper", "A4",
                      "--scale", "10000"}}) {
        EXPECT_EQ(testrun::runChild(BRAMLOTTE_CLI, args).status, 64)
            << args.join(' ').toStdString();
    }
}
