// The text file and the table are complete or absent, and the file they
// replace is never lost: the real program, run as a child, under a
// file-size limit, on a full file system, ended by a signal part way through
// the write, on a read-only file, and with the longest names there are.
#include "bench/town_generator.h"
#include "tests/cli/town_program.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>
#include <csignal>
#include <iostream>

using namespace bramlotte;
using namespace bramlotte::testrun;

namespace {

class TextFileFaults : public TownProgramTest {};

}  // namespace

TEST_F(TextFileFaults, YesKeepsTheOldFileWhenTheNewOneCannotBeWritten) {
    QTemporaryDir out;
    struct Fault {
        QString name, expected;
        std::unique_ptr<SmallFileSystem> disk;
        ChildSetup setup;
    };
    std::vector<Fault> faults;
    faults.push_back({"a file-size limit", "File too large", nullptr, {}});
    faults.back().setup.fileSizeLimit = 40000;
    auto disk = std::make_unique<SmallFileSystem>(1 << 20);
    if (disk->isValid()) {
        faults.push_back({"a full disk", "No space left on device", std::move(disk), {}});
    } else {
        std::cout << "[ skipped  ] the full disk: no file system can be mounted here\n";
    }
    for (Fault& fault : faults) {
        const QString folder = fault.disk ? fault.disk->path() : out.path();
        const QString target = folder + "/index.txt";
        writeFile(target, "old index\r\n");
        if (fault.disk) {
            fault.disk->fillLeaving(16384);
        }
        const ChildEnding r =
            run(build(town_, {"--save-as", folder + "/index", "--yes"}), fault.setup);
        EXPECT_EQ(r.status, 2) << fault.name.toStdString() << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("File already exists. Overwrite?\nYes\n"));
        EXPECT_TRUE(r.err.contains("ERROR DESCRIPTION: " + fault.expected)) << r.err.toStdString();
        EXPECT_EQ(bytesOf(target), "old index\r\n") << fault.name.toStdString();
        EXPECT_EQ(namesBeside(folder), QStringList{"index.txt"}) << fault.name.toStdString();
    }
}

TEST_F(TextFileFaults, AReadOnlyFileIsReportedAtYesAndRefusedByTheWriter) {
    for (const std::optional<uid_t>& user : readOnlyTesters()) {
        const QString folder = openFolder(shared(), user ? "ro-user" : "ro-root", user);
        const QString home = openFolder(shared(), "home", user);
        const QString target = folder + "/index.txt";
        writeFile(target, "kept", 0444);
        giveTo(target, user);
        const ChildEnding r =
            run(build(town_, {"--save-as", folder + "/index", "--yes"}), asUser(user, home));
        const std::string who = testerName(user);
        EXPECT_EQ(r.status, 2) << who;
        // The question, Yes, then at once the deletion's report.
        const QStringList lines = QString(r.err).remove('\r').split('\n');
        const int asked = lines.indexOf("File already exists. Overwrite?");
        ASSERT_GE(asked, 0) << who << r.err.toStdString();
        ASSERT_GT(lines.size(), asked + 12) << who << r.err.toStdString();
        EXPECT_EQ(lines[asked + 1], "Yes");
        EXPECT_TRUE(lines[asked + 11].startsWith("MODULE: fDeleteFile Quillmere_IO Line : "))
            << who;
        EXPECT_EQ(lines[asked + 12], "ERROR DESCRIPTION: Permission denied: " + target);
        EXPECT_TRUE(r.err.contains("MODULE: btnNext_Click frmIndex")) << who;
        EXPECT_EQ(bytesOf(target), "kept");
        EXPECT_EQ(modeOf(target), 0444u);
        EXPECT_EQ(namesIn(folder), QStringList{"index.txt"}) << who;
    }
}

TEST_F(TextFileFaults, ASignalPartWayThroughTheWriteLeavesTheOldFile) {
    // A town whose index takes a while to write.
    QTemporaryDir work;
    const QString big = work.filePath("big.gpkg");
    bench::TownOptions options;
    options.segments = 100000;
    bench::generateTown(big.toStdString(), options);
    ASSERT_EQ(run(build(big, {"--save-as", work.filePath("whole")})).status, 0);
    const QByteArray whole = bytesOf(work.filePath("whole.txt"));
    const QString target = work.filePath("index.txt");
    for (const int signal : {SIGTERM, SIGINT, SIGKILL}) {
        bool caught = false;
        for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
            writeFile(target, "old index\r\n");
            ChildProgram child(BRAMLOTTE_CLI,
                               build(big, {"--save-as", work.filePath("index"), "--yes"}));
            ASSERT_TRUE(child.signalWhenCreated(work.path(), "^\\.index\\.txt\\.", signal));
            const ChildEnding r = child.wait();
            const QStringList left = namesIn(work.path()).filter(QRegularExpression("^\\.index"));
            // A write that ended before the signal landed went through
            // whole; then another try is made.
            caught = bytesOf(target) != whole;
            if (caught) {
                EXPECT_EQ(r.signal, signal) << r.status;
                EXPECT_EQ(bytesOf(target), "old index\r\n") << signal;
                // Only SIGKILL can leave the temporary file behind.
                EXPECT_EQ(left.size(), signal == SIGKILL ? 1 : 0) << left.join(' ').toStdString();
            } else {
                EXPECT_TRUE(left.isEmpty());
            }
            for (const QString& name : left) {
                QFile::remove(work.filePath(name));
            }
        }
        EXPECT_TRUE(caught) << "no write was caught by signal " << signal;
    }
}

TEST_F(TextFileFaults, TheLongestNamesTheFileSystemTakesCanBeWritten) {
    QTemporaryDir out;
    const long nameMax = ::pathconf(QFile::encodeName(out.path()).constData(), _PC_NAME_MAX);
    const QString plain(static_cast<int>(nameMax) - 4, QLatin1Char('i'));
    QString accented;
    while (accented.toUtf8().size() + 2 <= nameMax - 4) {
        accented += QString::fromUtf8("É");
    }
    while (accented.toUtf8().size() < nameMax - 4) {
        accented += QLatin1Char('a');
    }
    for (const QString& name : {plain, accented}) {
        const ChildEnding r = run(build(town_, {"--save-as", out.filePath(name)}));
        EXPECT_EQ(r.status, 0) << name.toUtf8().size() << r.err.toStdString();
        EXPECT_GT(bytesOf(out.filePath(name + ".txt")).size(), 1000);
    }
    EXPECT_EQ(namesIn(out.path()).size(), 2);
}
