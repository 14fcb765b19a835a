// The export file: written whole or not at all, in the locale's character set.
#include "export/export_file.h"
#include "export/text_encoding.h"
#include "support/base/failure.h"
#include "tests/testing/locales.h"

#include <QDir>
#include <QFile>
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
using bramlotte::testmaps::ScopedEnvironment;
using bramlotte::testmaps::TestLocale;

namespace {

QStringList filesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
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
    ScopedEnvironment environment;
    environment.set("LC_ALL", "C.UTF-8");
    EXPECT_EQ(encodeForLocale(name), QByteArray("Rue \xc3\x89mile de Loth"));
    environment.set("LC_ALL", "C");
    EXPECT_EQ(encodeForLocale(name), name.toUtf8());  // plain C counts as UTF-8
    const TestLocale latin1("en_US.ISO-8859-1");
    if (!latin1.available()) {
        GTEST_SKIP() << "no Latin-1 locale can be made here (Debian's locales package)";
    }
    environment.choose(latin1);
    EXPECT_EQ(bramlotte::exporting::localeCharset(), "ISO-8859-1");
    EXPECT_EQ(encodeForLocale(name), QByteArray("Rue \xc9mile de Loth"));
    EXPECT_EQ(encodeForLocale(QString::fromUtf8("Łódź Ω")), QByteArray("?\xf3"
                                                                       "d? ?"));
}
