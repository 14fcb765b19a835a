// The saved project and the layout PDF are complete or absent: the real
// program, run as a child, under a file-size limit, on a full file system,
// and on read-only files as the superuser and as an ordinary user.
#include "support/files/file_checks.h"
#include "tests/cli/town_program.h"

#include <qgslayoutmanager.h>
#include <qgsprintlayout.h>
#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

using namespace bramlotte;
using namespace bramlotte::testrun;

namespace {

class ProjectAndPdfFaults : public TownProgramTest {
  protected:
    // A project of the town in `folder`, as a .qgz or .qgs, its layers
    // addressed relative to it.
    static QString project(const QString& folder, const QString& name) {
        QFile::copy(town_, folder + "/town.gpkg");
        QgsProject p;
        p.addMapLayer(
            new QgsVectorLayer(folder + "/town.gpkg|layername=streets", "streets", "ogr"));
        p.addMapLayer(new QgsVectorLayer(folder + "/town.gpkg|layername=pages", "pages", "ogr"));
        const QString path = folder + "/" + name;
        EXPECT_TRUE(p.write(path));
        return path;
    }
};

}  // namespace

TEST_F(ProjectAndPdfFaults, TheProjectIsSavedWholeOrNotAtAll) {
    const QStringList layout = {"--output", "layout", "--columns", "3", "--save-project"};
    // Saved: its mode and name kept, nothing left beside it, relative
    // layer paths still good.
    QTemporaryDir out;
    const QString qgs = project(out.path(), "atlas.qgs");
    ::chmod(QFile::encodeName(qgs).constData(), 0640);
    ChildEnding r = run(build(qgs, layout));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, qgs + "\n");
    EXPECT_EQ(modeOf(qgs), 0640u);
    EXPECT_EQ(namesIn(out.path()), (QStringList{"atlas.qgs", "town.gpkg"}));
    {
        QgsProject reread;
        ASSERT_TRUE(reread.read(qgs));
        EXPECT_EQ(reread.layoutManager()->printLayouts().size(), 1);
        for (QgsMapLayer* layer : reread.mapLayers()) {
            EXPECT_TRUE(layer->isValid()) << layer->source().toStdString();
        }
    }

    // A full disk or a file-size limit: the original stays, byte for byte.
    std::vector<std::pair<std::unique_ptr<SmallFileSystem>, ChildSetup>> faults;
    // The limit lets QGIS unpack the original project but not write the
    // new one, which holds the whole index.
    faults.emplace_back(nullptr, ChildSetup{});
    faults.back().second.fileSizeLimit = 65536;
    auto disk = std::make_unique<SmallFileSystem>(16 << 20);
    if (disk->isValid()) {
        faults.emplace_back(std::move(disk), ChildSetup{});
    }
    for (auto& [small, setup] : faults) {
        QTemporaryDir other;
        const QString folder = small ? small->path() : other.path();
        const QString qgz = project(folder, "atlas.qgz");
        const QByteArray before = bytesOf(qgz);
        if (small) {
            small->fillLeaving(8192);
        }
        r = run(build(qgz, layout), setup);
        EXPECT_EQ(r.status, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Cannot save the project to " + qgz)) << r.err.toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(bytesOf(qgz), before) << (small ? "full disk" : "size limit");
        EXPECT_EQ(namesBeside(folder), (QStringList{"atlas.qgz", "town.gpkg"}));
    }

    // A project whose mode bits forbid writing it, for any user.
    for (const std::optional<uid_t>& user : readOnlyTesters()) {
        const QString folder = openFolder(shared(), user ? "qgz-user" : "qgz-root", user);
        const QString qgz = project(folder, "atlas.qgz");
        ::chmod(QFile::encodeName(qgz).constData(), 0444);
        giveTo(folder, user);
        const QByteArray before = bytesOf(qgz);
        r = run(build(qgz, layout), asUser(user, openFolder(shared(), "home", user)));
        EXPECT_EQ(r.status, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Cannot save the project to " + qgz + ": Permission denied"))
            << r.err.toStdString();
        EXPECT_EQ(bytesOf(qgz), before);
        EXPECT_EQ(modeOf(qgz), 0444u);
    }
}

TEST_F(ProjectAndPdfFaults, TheLayoutPdfIsWholeOrAbsent) {
    const auto pdfArgs = [&](const QString& pdf) {
        return build(town_, {"--output", "layout", "--columns", "3", "--layout-pdf", pdf});
    };
    QTemporaryDir out;
    ChildEnding r = run(pdfArgs(out.filePath("index.pdf")));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(support::pdfDamage(out.filePath("index.pdf")), QString());
    EXPECT_EQ(namesIn(out.path()), QStringList{"index.pdf"});
    const QByteArray good = bytesOf(out.filePath("index.pdf"));

    // Over an old PDF under a file-size limit, and onto a full disk.
    ChildSetup limited;
    limited.fileSizeLimit = 4096;
    r = run(pdfArgs(out.filePath("index.pdf")), limited);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("Cannot export the page layout to " + out.filePath("index.pdf")))
        << r.err.toStdString();
    EXPECT_EQ(bytesOf(out.filePath("index.pdf")), good);
    EXPECT_EQ(namesIn(out.path()), QStringList{"index.pdf"});
    SmallFileSystem disk(1 << 20);
    if (disk.isValid()) {
        disk.fillLeaving(4096);
        r = run(pdfArgs(disk.filePath("index.pdf")));
        EXPECT_EQ(r.status, 2) << r.err.toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(namesBeside(disk.path()).isEmpty())
            << namesIn(disk.path()).join(' ').toStdString();
    }
    // A PDF whose mode bits forbid writing it.
    ::chmod(QFile::encodeName(out.filePath("index.pdf")).constData(), 0444);
    r = run(pdfArgs(out.filePath("index.pdf")));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("Permission denied")) << r.err.toStdString();
    EXPECT_EQ(bytesOf(out.filePath("index.pdf")), good);
}
