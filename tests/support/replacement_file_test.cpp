// The replacement file: a new version written beside its target under a
// name the file system takes, put in place whole with the target's mode, and
// gone on every other way out, an ending signal included.
#include "support/files/replacement_file.h"
#include "support/base/failure.h"
#include "tests/testing/child_program.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <thread>

using bramlotte::support::Failure;
using bramlotte::support::ReplacementFile;
using bramlotte::testrun::namesIn;

namespace {

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode = 0644) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

// A name of `bytes` bytes made of `unit` repeated, then "a" as needed.
QString nameOfBytes(const QString& unit, int bytes) {
    QString name;
    while (name.toUtf8().size() + unit.toUtf8().size() <= bytes) {
        name += unit;
    }
    while (name.toUtf8().size() < bytes) {
        name += QLatin1Char('a');
    }
    return name;
}

int endedBy(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
}

volatile sig_atomic_t earlierHandlerRan = 0;

}  // namespace

TEST(ReplacementFile, TemporaryNamesFitEveryTargetNameTheFileSystemTakes) {
    QTemporaryDir dir;
    const long nameMax = bramlotte::support::maxNameLength(dir.path());
    ASSERT_GE(nameMax, 14);
    ReplacementFile::Naming qgs;
    qgs.hidden = false;
    qgs.suffix = ".qgs";
    qgs.spare = 12;
    for (const ReplacementFile::Naming& naming : {ReplacementFile::Naming(), qgs}) {
        for (const QString& unit : {QStringLiteral("i"), QString::fromUtf8("É"),
                                    QString::fromUtf8("東"), QString::fromUtf8("😀")}) {
            for (int bytes = 1; bytes <= nameMax; ++bytes) {
                const QString name = nameOfBytes(unit, bytes);
                const QByteArray temporary =
                    bramlotte::support::temporaryNameFor(name.toUtf8(), naming, nameMax);
                ASSERT_LE(temporary.size() + naming.spare, nameMax) << bytes;
                // Whole characters, the target's start, the writer's extension.
                ASSERT_EQ(QString::fromUtf8(temporary).toUtf8(), temporary) << bytes;
                ASSERT_TRUE(temporary.endsWith(".XXXXXX" + naming.suffix));
                ASSERT_TRUE(name.toUtf8().startsWith(temporary.mid(naming.hidden ? 1 : 0, 1)));
            }
        }
    }
    // The longest names really work, for the file and for what a writer
    // derives from the temporary name.
    const QString longest = dir.filePath(nameOfBytes(QString::fromUtf8("É"), nameMax));
    writeFile(longest, "old");
    {
        ReplacementFile file(longest);
        file.write("new", 3);
        file.commit();
    }
    EXPECT_EQ(bytesOf(longest), "new");
    const QString project = dir.filePath(nameOfBytes("p", nameMax - 4) + ".qgs");
    {
        ReplacementFile file(project, qgs);
        QString companion = file.temporaryFilePath();
        companion.chop(4);
        writeFile(companion + "_attachments.zip", "zip");
        EXPECT_EQ(bytesOf(companion + "_attachments.zip"), "zip");
        QFile::remove(companion + "_attachments.zip");
    }
    EXPECT_EQ(namesIn(dir.path()), QStringList{longest.section('/', -1)});
}

TEST(ReplacementFile, TheNewFileTakesTheTargetsModeAndReadOnlyTargetsAreRefused) {
    QTemporaryDir dir;
    const QString target = dir.filePath("index.txt");
    writeFile(target, "old", 0640);
    {
        ReplacementFile file(target);
        file.write("partial", 7);
        EXPECT_EQ(bytesOf(target), "old");  // nothing reaches it before commit
    }
    EXPECT_EQ(namesIn(dir.path()), QStringList{"index.txt"});
    {
        // A writer that writes by name and makes the file anew.
        ReplacementFile file(target);
        file.closeDescriptor();
        const QString temporary = file.temporaryFilePath();
        QFile::remove(temporary);
        writeFile(temporary, "rewritten", 0600);
        file.commit();
    }
    EXPECT_EQ(bytesOf(target), "rewritten");
    EXPECT_EQ(modeOf(target), 0640u);

    // Mode bits decide, also for the superuser.
    writeFile(target, "kept", 0444);
    try {
        ReplacementFile file(target);
        FAIL() << "a read-only target was taken";
    } catch (const Failure& e) {
        EXPECT_EQ(e.number(), 70);
    }
    EXPECT_THROW(ReplacementFile(dir.path()), Failure);  // a folder
    EXPECT_THROW(ReplacementFile(dir.filePath("missing/x.txt")), Failure);
    EXPECT_EQ(bytesOf(target), "kept");
    EXPECT_EQ(namesIn(dir.path()), QStringList{"index.txt"});
}

TEST(ReplacementFile, AnEndingSignalRemovesTheTemporaryFileThenEndsTheProgram) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QTemporaryDir dir;
        const QString target = dir.filePath("index.txt");
        writeFile(target, "old");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ReplacementFile file(target);
            file.write("half", 4);
            ::kill(getpid(), signal);
            _exit(0);  // not reached: the signal ends the program
        }
        EXPECT_EQ(endedBy(child), signal);
        EXPECT_EQ(namesIn(dir.path()), QStringList{"index.txt"}) << signal;
        EXPECT_EQ(bytesOf(target), "old");
    }
}

TEST(ReplacementFile, ASignalTakenByAnotherThreadWaitsForTheFileBeingMade) {
    // The thread making a file holds the signal back, so the kernel hands
    // it to another thread; that thread's handler must not end the program
    // before the file it will have to remove is registered.
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(".index.txt.abcdef"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::thread other([] {
            for (;;) {
                ::pause();
            }
        });
        other.detach();
        bramlotte::support::ScratchFile registered;
        {
            const bramlotte::support::ScratchFileBeingMade making;
            ::close(::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
            ::kill(getpid(), SIGINT);
            ::usleep(100 * 1000);
            registered = bramlotte::support::ScratchFile(path);
        }
        for (;;) {
            ::pause();  // the signal ends the program
        }
    }
    EXPECT_EQ(endedBy(child), SIGINT);
    EXPECT_EQ(namesIn(dir.path()), QStringList());
}

TEST(ReplacementFile, AHandlerTheProgramSetDecidesAndItsWriteGoesOn) {
    // In a fresh process (this test run again, alone), so that the
    // handler is there before any temporary file is made.
    if (const QByteArray folder = qgetenv("BRAMLOTTE_SIGNAL_CHILD"); !folder.isEmpty()) {
        ::signal(SIGTERM, [](int) { earlierHandlerRan = 1; });
        const QString target = QFile::decodeName(folder) + "/index.txt";
        ReplacementFile file(target);
        file.write("new", 3);
        ::kill(getpid(), SIGTERM);
        file.commit();
        _exit(earlierHandlerRan && bytesOf(target) == "new" ? 3 : 4);
    }
    QTemporaryDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setenv("BRAMLOTTE_SIGNAL_CHILD", QFile::encodeName(dir.path()).constData(), 1);
        ::execl("/proc/self/exe", "test_support",
                "--gtest_filter=ReplacementFile.AHandlerTheProgramSetDecidesAndItsWriteGoesOn",
                static_cast<char*>(nullptr));
        _exit(5);
    }
    EXPECT_EQ(endedBy(child), -3);
    EXPECT_EQ(namesIn(dir.path()), QStringList{"index.txt"});
}
