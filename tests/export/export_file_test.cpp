// The export file: written whole or not at all, in the locale's character set.
#include "export/export_file.h"
#include "export/text_encoding.h"
#include "support/failure.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>

using bramlotte::exporting::ExportFile;
using bramlotte::support::Failure;

namespace {

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// Runs `body` under a locale made on the spot from the system's locale
// sources (Debian's "locales" package); false when it cannot be made.
bool withLocale(const QString& name, const QString& charmap, const std::function<void()>& body) {
    QTemporaryDir dir;
    const QString localedef = QStandardPaths::findExecutable("localedef");
    if (localedef.isEmpty() || !QFile::exists("/usr/share/i18n/charmaps")) {
        return false;
    }
    QProcess p;
    p.start(localedef, {"-i", "en_US", "-f", charmap, dir.filePath(name)});
    if (!p.waitForFinished(60000) || !QFile::exists(dir.filePath(name))) {
        return false;
    }
    const QByteArray oldPath = qgetenv("LOCPATH"), oldAll = qgetenv("LC_ALL");
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    qputenv("LC_ALL", name.toLatin1());
    body();
    oldPath.isNull() ? qunsetenv("LOCPATH") : qputenv("LOCPATH", oldPath);
    oldAll.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", oldAll);
    return true;
}

}  // namespace

TEST(ExportFile, NothingReachesTheTargetBeforeCommitAndNothingIsLeftBehind) {
    QTemporaryDir dir;
    const QString target = dir.filePath("index.txt");
    {
        ExportFile file(dir.path(), target);
        file.writeLine("Main St... A1");
        EXPECT_FALSE(QFile::exists(target));
    }  // closed without commit: an early way out
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());
    {
        ExportFile file(dir.path(), target);
        file.writeLine("Main St... A1");
        file.commit();
    }
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "Main St... A1\r\n");
    EXPECT_EQ(filesIn(dir.path()), QStringList{"index.txt"});
}

TEST(ExportFile, RefusedTargetsLeaveEverythingAsItWas) {
    QTemporaryDir dir;
    EXPECT_THROW(ExportFile(dir.path(), dir.filePath("missing/x.txt")), Failure);
    EXPECT_THROW(ExportFile(dir.filePath("missing"), dir.filePath("missing/x.txt")), Failure);
    try {
        ExportFile(dir.path(), dir.path() + "/a/b.txt");  // the name held "/"
        FAIL();
    } catch (const Failure& e) {
        EXPECT_EQ(e.number(), 52);
    }
    const QString readOnly = dir.filePath("ro.txt");
    QFile f(readOnly);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep");
    f.close();
    ::chmod(QFile::encodeName(readOnly).constData(), 0444);
    try {
        ExportFile(dir.path(), readOnly);
        FAIL();
    } catch (const Failure& e) {
        EXPECT_EQ(e.number(), 70);
    }
    EXPECT_EQ(filesIn(dir.path()), QStringList{"ro.txt"});
}

TEST(ExportFile, AWriteThatFailsPartWayLeavesNoTarget) {
    QTemporaryDir dir;
    const QString target = dir.filePath("big.txt");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file may grow to 64 KiB only; writing past that fails.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{65536, 65536};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            ExportFile file(dir.path(), target);
            for (int i = 0; i < 100000; ++i) {
                file.writeLine(QStringLiteral("Street %1... A1, B2, C3").arg(i));
            }
            file.commit();
        } catch (const Failure& e) {
            _exit(e.number() == 61 ? 3 : 4);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "the write should fail as a full disk";
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());
}

TEST(ExportFile, TheLocalesCharacterSet) {
    using bramlotte::exporting::encodeForLocale;
    const QString name = QString::fromUtf8("Rue Émile de Loth");
    qputenv("LC_ALL", "C.UTF-8");
    EXPECT_EQ(encodeForLocale(name), QByteArray("Rue \xc3\x89mile de Loth"));
    qputenv("LC_ALL", "C");
    EXPECT_EQ(encodeForLocale(name), name.toUtf8());  // plain C counts as UTF-8
    const bool made = withLocale("en_US.ISO-8859-1", "ISO-8859-1", [&] {
        EXPECT_EQ(bramlotte::exporting::localeCharset(), "ISO-8859-1");
        EXPECT_EQ(encodeForLocale(name), QByteArray("Rue \xc9mile de Loth"));
        EXPECT_EQ(encodeForLocale(QString::fromUtf8("Łódź Ω")), QByteArray("?\xf3"
                                                                           "d? ?"));
    });
    qunsetenv("LC_ALL");
    if (!made) {
        GTEST_SKIP() << "no Latin-1 locale can be made here (Debian's locales package)";
    }
}
